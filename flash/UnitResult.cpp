#include "flash/UnitResult.h"

#include <algorithm>

#include "engine/WireProtocol.h"
#include "flash/ExitStatus.h"

namespace vardel::flash {

double UnitResult::BytesPerSecond() const {
    return seconds > 0 ? blocks * double{wire::kBlockSize} / seconds : 0;
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Completed:
        return "completed";
    case Outcome::Ready:
        return "ready";
    case Outcome::Stopped:
        return "stopped";
    case Outcome::Failed:
        break;
    }
    return "failed";
}

int ExitStatus(const std::vector<UnitResult>& results) {
    const auto any = [&](Outcome outcome) {
        return std::any_of(results.begin(), results.end(),
                           [&](const UnitResult& r) { return r.outcome == outcome; });
    };
    if (any(Outcome::Stopped)) return kExitStopped;
    return any(Outcome::Failed) ? kExitAnyFailed : kExitAllCompleted;
}

}  // namespace vardel::flash
