// Where vardel-flash stops scaling: the whole bench of 1 to 16 units at once
// against one unit's ideal line time, and whose CPU time it ran out of.
#include <algorithm>
#include <string>

#include "bench/Interruption.h"
#include "bench/Measurements.h"

namespace vardel::bench {

namespace {

constexpr double kScalingGoal = 1.06;         // × one unit's ideal, for the whole bench...
constexpr std::size_t kScalingGoalUnits = 8;  // ...of this many units

}  // namespace

// Every unit's MCU is simulated on a thread of the benchmark, on the same
// cores as vardel-flash: the rows say how busy the whole machine was, so that
// where the bench stops scaling shows whose CPU time it ran out of.
void Measurements::Scaling() {
    std::string stopped;  // why the first count beyond the goal went beyond it
    std::string largest;  // what the largest count within the goal cost
    std::size_t scaledTo = 0;
    for (const std::size_t units : plan_.unitCounts) {
        if (units == 0 || Interrupted()) {
            continue;
        }
        const auto point = ScaleTo(units);
        if (!point || !stopped.empty()) {
            continue;
        }
        if (point->ratio <= kScalingGoal) {
            scaledTo = units;
            largest = point->cost;
        } else {
            stopped = point->cost;
        }
    }
    const std::string goal = Fixed(kScalingGoal, 2) + " × one unit's ideal";
    if (scaledTo == 0 && !stopped.empty()) {
        scalingNote_ = "Where it stops scaling: the bench went beyond " + goal +
                       " with the fewest units measured; " + stopped + ".";
        return;
    }
    scalingNote_ = "Where it stops scaling: the whole bench stayed within " + goal + " up to " +
                   Counted(static_cast<long long>(scaledTo), "unit") +
                   (stopped.empty() ? " at once, the most measured; " + largest : "; " + stopped) +
                   ".";
}

std::optional<Measurements::ScalePoint> Measurements::ScaleTo(std::size_t units) {
    const std::size_t bytes = plan_.lineRateBytes;
    const double ideal = IdealSeconds(bytes);
    const auto cores = static_cast<double>(DescribeMachine().cpus);
    const std::string measure =
        Counted(static_cast<long long>(units), "unit") + " at once at the line rate, " +
        Grouped(static_cast<long long>(BlocksOf(bytes))) +
        " blocks each: first enter-upgrade frame to last completion request";
    const std::string goal = units == kScalingGoalUnits ? Goal(kScalingGoal, " × ideal") : "";
    std::string error;
    const auto upgrade = runs_.Upgrade(Host::Flash, units, bytes, true, error);
    if (!upgrade || !upgrade->transferCpu) {
        Add(Unmeasured(measure, upgrade ? "a session never reached its completion" : error, goal),
            Host::Flash);
        return std::nullopt;
    }
    const auto& cpu = *upgrade->transferCpu;
    const double ratio = cpu.program.seconds / ideal;
    const double busyCores = cpu.machine.percentOfCore / 100.0;
    double slowest = 0;
    for (const auto& verdict : upgrade->verdicts) {
        slowest = std::max(slowest, Ms(verdict.transferTime) / 1000.0);
    }
    // Where the time beyond one unit's went: into starting the units one
    // after another, or into each unit's own transfer.
    const std::string spent = "the last unit's enter-upgrade frame " +
                              Fixed(upgrade->startSpread.count() * 1000.0, 0) +
                              " ms after the first's; the slowest unit's own transfer " +
                              Fixed(slowest / ideal, 3) + " × ideal";
    const std::string use =
        "vardel-flash " + Fixed(cpu.program.percentOfCore / static_cast<double>(units), 1) +
        " % of one core a unit; the simulated MCUs " + Fixed(cpu.bench.percentOfCore, 0) +
        " %; the machine " + Fixed(busyCores, 2) + " of " + Fixed(cores, 0) + " cores busy";
    Progress("vardel-flash, " + std::to_string(units) + " units: " + Fixed(cpu.program.seconds, 3) +
             " s = " + Fixed(ratio, 3) + " × ideal; " + spent + "; " + use);
    Add({measure,
         Fixed(cpu.program.seconds, 3) + " s = " + Fixed(ratio, 3) + " × one unit's ideal " +
             Fixed(ideal, 3) + " s; " + spent + "; " + use + "; peak memory " +
             Fixed(static_cast<double>(upgrade->peakKib.value_or(0)) * 1024.0 / 1e6, 1) + " MB",
         goal,
         units == kScalingGoalUnits ? std::optional<bool>(ratio <= kScalingGoal) : std::nullopt},
        Host::Flash);
    // What the units cost: the time beyond one unit's, and whose CPU time.
    return ScalePoint{ratio, "at " + Counted(static_cast<long long>(units), "unit") +
                                 " the bench took " + Fixed(ratio, 3) +
                                 " × one unit's ideal: " + spent + "; " + Fixed(busyCores, 2) +
                                 " of the machine's " + Fixed(cores, 0) + " cores were busy, " +
                                 Fixed(cpu.bench.percentOfCore / 100.0, 2) +
                                 " of them for the simulated MCUs and " +
                                 Fixed(cpu.program.percentOfCore / 100.0, 2) + " for vardel-flash"};
}

}  // namespace vardel::bench
