#include "flash/Summary.h"

#include <algorithm>
#include <cstdio>

#include "engine/WireProtocol.h"

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

std::string SummaryTable(const std::vector<std::string>& ports,
                         const std::vector<UnitResult>& results) {
    int width = 4;  // "PORT"
    for (const auto& port : ports) width = std::max(width, static_cast<int>(port.size()));
    std::string table;
    char row[512];
    (void)std::snprintf(row, sizeof row, "%-*s  %-9s  %6s  %7s  %7s  %10s", width, "PORT",
                        "RESULT", "BLOCKS", "SECONDS", "BYTES/S", "RECONNECTS");
    table += row;
    table += "  REASON\n";
    for (std::size_t i = 0; i < results.size() && i < ports.size(); ++i) {
        const UnitResult& r = results[i];
        (void)std::snprintf(row, sizeof row, "%-*s  %-9s  %6u  %7.2f  %7.0f  %10u", width,
                            ports[i].c_str(), OutcomeName(r.outcome), r.blocks, r.seconds,
                            r.BytesPerSecond(), r.reconnections);
        // The whole reason, however long: a terminal wraps it, nothing cuts it.
        table += row;
        table += r.reason.empty() ? "\n" : "  " + r.reason + "\n";
    }
    return table;
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
