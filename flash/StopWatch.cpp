#include "flash/StopWatch.h"

namespace vardel::flash {
namespace {

// A second Ctrl-C within this time stops every unit.
constexpr auto kSecondInterruptWithin = std::chrono::seconds(5);
// Once the user has stopped the run, output that does not drain within this
// time is given up, so that the program ends within a second.
constexpr auto kOutputGraceAfterStop = std::chrono::milliseconds(300);

}  // namespace

StopWatch::StopWatch(Display& display, std::atomic<bool>& stop)
    : display_(display), stop_(stop), requests_(WatchStopRequests()) {}

void StopWatch::Look() {
    if (requests_.endNow.load()) Stop();
    if (const unsigned hangups = requests_.hangups.load(); hangups != hangups_) {
        hangups_ = hangups;
        display_.Notice("the terminal hung up; the units go on to their end");
    }
    const unsigned interrupts = requests_.interrupts.load();
    const unsigned fresh = interrupts - seen_;
    if (fresh == 0) return;
    seen_ = interrupts;
    const auto now = Clock::now();
    // Two may have come between two looks.
    if (fresh > 1 || (warned_ && now - warnedAt_ <= kSecondInterruptWithin)) {
        Stop();
        return;
    }
    warned_ = true;
    warnedAt_ = now;
    display_.Notice("press Ctrl-C again within 5 s to stop; the units will need a new upgrade");
}

bool StopWatch::OutputOverdue() const {
    return stopped_ && Clock::now() - stoppedAt_ > kOutputGraceAfterStop;
}

void StopWatch::Stop() {
    stop_.store(true);
    if (!stopped_) stoppedAt_ = Clock::now();
    stopped_ = true;
}

}  // namespace vardel::flash
