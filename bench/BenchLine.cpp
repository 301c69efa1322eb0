// vardel-flash on a bench's line, one unit at the line rate each time, side by
// side in one run: the plain line, a USB adapter whose latency timer is lowered
// to 1 ms, one left at FTDI's default of 16 ms, and the plain line again with
// --trace, so that a user sees what the timer and the trace cost.
#include <chrono>
#include <string>

#include "bench/Measurements.h"

namespace vardel::bench {

namespace {

constexpr double kTraceGoal = 1.02;  // × the plain line: the trace must not slow it

}  // namespace

void Measurements::BenchLine() {
    const std::size_t bytes = plan_.lineRateBytes;
    const double ideal = IdealSeconds(bytes);
    const auto blocks = static_cast<double>(BlocksOf(bytes));
    struct Case {
        const char* measure;
        BenchExtras extras;
    };
    const Case cases[] = {
        {"vardel-flash behind a plain line, one unit at the line rate", {}},
        {"the same behind a USB adapter whose latency timer is 1 ms (lowered, as vardel-flash "
         "asks the driver to)",
         {std::chrono::milliseconds{1}, false}},
        {"the same behind a USB adapter whose latency timer is 16 ms (FTDI's default)",
         {std::chrono::milliseconds{16}, false}},
        {"the plain line with --trace FILE", {std::chrono::milliseconds{0}, true}},
    };
    double plain = 0;
    for (const Case& one : cases) {
        std::string error;
        const auto upgrade = runs_.Upgrade(Host::Flash, 1, bytes, true, error, one.extras);
        const bool traced = one.extras.trace;
        const std::string goal = traced ? "≤ " + Fixed(kTraceGoal, 2) + " × the plain line" : "";
        if (!upgrade) {
            Add({one.measure, "not measured: " + error, goal, false}, Host::Flash);
            allMeasured_ = false;
            continue;
        }
        const double seconds =
            static_cast<double>(upgrade->verdicts.front().transferTime.count()) / 1e6;
        std::string value = Fixed(seconds, 3) + " s = " + Fixed(seconds / ideal, 3) + " × ideal";
        if (plain > 0) {
            value += "; " + Fixed((seconds - plain) / blocks * 1000, 2) +
                     " ms a block more than the plain line";
        } else {
            plain = seconds;
        }
        Add({one.measure, value, goal,
             traced ? std::optional<bool>(seconds <= kTraceGoal * plain) : std::nullopt},
            Host::Flash);
    }
}

}  // namespace vardel::bench
