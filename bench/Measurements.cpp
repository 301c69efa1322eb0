#include "bench/Measurements.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>

#include "bench/Interruption.h"
#include "sim/WireFrames.h"

namespace vardel::bench {

namespace {

// The goals. The dialog program answers on its 5 ms timer, so its latency
// has no median goal: an unpaced MCU asks just after a tick and waits for the
// next. vardel-flash ticks as soon as a byte arrives, and carries the tight ones.
constexpr double kLineRateGoal = 1.06;  // × the ideal line time
constexpr double kLatencyP99GoalMs = 6.0;
constexpr const char* kTickMedianGoal =
    "none: one 5 ms tick by design (an unpaced MCU asks just after a tick and waits for the "
    "next)";
constexpr double kReadyCpuGoal = 1.5;  // % of one core
constexpr double kClosedCpuGoal = 3.0;
constexpr double kTransferCpuGoal = 10.0;
constexpr double kSilentCpuGoal = 5.0;
constexpr double kPeakMemoryGoalMb = 40.0;
constexpr double kFirstTickGoalMs = 300.0;
constexpr double kFlashLineRateGoal = 1.04;
constexpr double kFlashLatencyMedianGoalMs = 1.5;  // strictly below
constexpr double kFlashLatencyP99GoalMs = 5.0;     // never a whole tick late
constexpr double kFlashTransferCpuGoal = 10.0;

// The serial line: 10 bits a byte (start, 8 data, stop) at 38,400 baud.
constexpr double kBaud = 38'400;
constexpr double kBitsPerByte = 10;

const char* NameOf(Host host) { return host == Host::Dialog ? "" : "vardel-flash, "; }

std::string Percent(const CpuShare& share) {
    return Fixed(share.percentOfCore, 1) + " % of one core (" + Counted(share.ticks, "tick") +
           " in " + Fixed(share.seconds, 1) + " s)";
}

}  // namespace

std::size_t BlocksOf(std::size_t bytes) { return bytes / vardel::sim::kBlockSize; }

double Ms(std::chrono::microseconds time) { return static_cast<double>(time.count()) / 1000.0; }

double IdealSeconds(std::size_t bytes) {
    const double lineBytes =
        static_cast<double>(BlocksOf(bytes)) *
        static_cast<double>(vardel::sim::kRequestLength + vardel::sim::kDataFrameLength);
    return lineBytes * kBitsPerByte / kBaud;
}

void Measurements::Run() {
    // The dialog program's figures, then vardel-flash's, each in turn until
    // the benchmark is interrupted.
    using Step = void (Measurements::*)();
    static constexpr Step kSteps[] = {
        &Measurements::DialogLineRate, &Measurements::Floor,        &Measurements::DialogLatency,
        &Measurements::TransferCpu,    &Measurements::ReadyCpu,     &Measurements::ClosedCpu,
        &Measurements::SilentCpu,      &Measurements::StartsRows,   &Measurements::FlashLineRate,
        &Measurements::FlashCpu,       &Measurements::FlashLatency, &Measurements::Scaling,
        &Measurements::BenchLine,      &Measurements::StationRows};
    for (const Step step : kSteps) {
        if (Interrupted()) {
            return;
        }
        (this->*step)();
    }
}

void Measurements::Add(Row row, Host host) {
    if (row.value.starts_with("not measured")) {
        allMeasured_ = false;
    }
    (host == Host::Dialog ? rows_ : flashRows_).push_back(std::move(row));
}

void Measurements::LineRate(Host host) {
    const std::size_t bytes = plan_.lineRateBytes;
    const double ideal = IdealSeconds(bytes);
    const double limit = host == Host::Dialog ? kLineRateGoal : kFlashLineRateGoal;
    const std::string measure =
        "Line-rate transfer of " + Grouped(static_cast<long long>(BlocksOf(bytes))) + " blocks (" +
        Grouped(static_cast<long long>(bytes)) +
        " bytes) at 38,400 baud both ways, no flash delay: enter-upgrade frame to "
        "completion request, median of " +
        Counted(plan_.lineRateRuns, "run");
    const std::string goal = Goal(limit, " × ideal");
    std::vector<double> seconds;
    std::string listed;
    for (int run = 1; run <= plan_.lineRateRuns; ++run) {
        std::string error;
        const auto upgrade = runs_.Upgrade(host, 1, bytes, true, error);
        if (!upgrade) {
            Add(Unmeasured(measure, error, goal), host);
            return;
        }
        seconds.push_back(Ms(upgrade->verdicts.front().transferTime) / 1000.0);
        listed += (listed.empty() ? "" : ", ") + Fixed(seconds.back(), 3);
        if (upgrade->transferCpu) {
            (host == Host::Dialog ? lineRateCpu_ : flashLineRateCpu_)
                .push_back(upgrade->transferCpu->program);
        }
        Progress(NameOf(host) + std::string("line rate, run ") + std::to_string(run) + ": " +
                 Fixed(seconds.back(), 3) + " s");
    }
    const double median = Median(seconds);
    const double ratio = median / ideal;
    // The simulated line is a little slower than the ideal by itself; the
    // tight goal is read against that floor.
    const std::string floor = host == Host::Flash && floorRatio_
                                  ? "; the simulated line's own floor in this run " +
                                        Fixed(*floorRatio_, 3) + " × ideal (first table)"
                                  : "";
    Add({measure,
         Fixed(median, 3) + " s = " + Fixed(ratio, 3) + " × ideal " + Fixed(ideal, 3) +
             " s (runs: " + listed + " s)" + floor,
         goal, ratio <= limit},
        host);
}

void Measurements::Floor() {
    const std::size_t bytes = plan_.lineRateBytes;
    const std::string measure =
        "For reference, the floor the simulated line sets: the same transfer against an "
        "instant host inside the benchmark, one run";
    std::string error;
    const auto verdict = runs_.InstantUpgrade(bytes, error);
    if (!verdict) {
        Add(Unmeasured(measure, error, ""));
        return;
    }
    const double seconds = Ms(verdict->transferTime) / 1000.0;
    Progress("line rate against an instant host: " + Fixed(seconds, 3) + " s");
    floorRatio_ = seconds / IdealSeconds(bytes);
    Add({measure,
         Fixed(seconds, 3) + " s = " + Fixed(seconds / IdealSeconds(bytes), 3) + " × ideal", "",
         std::nullopt});
}

void Measurements::Latency(Host host) {
    const bool dialog = host == Host::Dialog;
    const std::size_t requests = BlocksOf(plan_.latencyBytes) * plan_.latencyRuns;
    const std::string from = Counted(static_cast<long long>(requests), "block request") + " in " +
                             Counted(plan_.latencyRuns, "unpaced run") + " of " +
                             Grouped(static_cast<long long>(plan_.latencyBytes)) + " bytes";
    const std::string medianGoal =
        dialog ? std::string(kTickMedianGoal) : "< " + Fixed(kFlashLatencyMedianGoalMs, 1) + " ms";
    const double p99Goal = dialog ? kLatencyP99GoalMs : kFlashLatencyP99GoalMs;
    std::vector<double> samples;
    for (int run = 1; run <= plan_.latencyRuns; ++run) {
        std::string error;
        const auto upgrade = runs_.Upgrade(host, 1, plan_.latencyBytes, false, error);
        if (!upgrade) {
            Add(Unmeasured("Response latency (" + from + ")", error, medianGoal), host);
            return;
        }
        const sim::Verdict& verdict = upgrade->verdicts.front();
        for (const auto latency : verdict.latencies) {
            samples.push_back(Ms(latency));
        }
        Progress(NameOf(host) + std::string("latency, run ") + std::to_string(run) + ": " +
                 verdict.TimingText());
    }
    const auto ms = [](double value) { return Fixed(value, 2) + " ms"; };
    const double median = Median(samples);
    const double p99 = Percentile(samples, 0.99);
    Add({"Response latency, last byte of a request to first byte of its data frame: "
         "minimum (" +
             Counted(static_cast<long long>(samples.size()), "answer") + " to " + from + ")",
         ms(Percentile(samples, 0)), "", std::nullopt},
        host);
    Add({"Response latency: median", ms(median), medianGoal,
         dialog ? std::nullopt : std::optional<bool>(median < kFlashLatencyMedianGoalMs)},
        host);
    Add({"Response latency: 99th percentile", ms(p99), Goal(p99Goal, " ms"), p99 <= p99Goal}, host);
    Add({"Response latency: maximum", ms(Percentile(samples, 1)), "", std::nullopt}, host);
}

void Measurements::TransferCpu() {
    const std::size_t bytes =
        plan_.transferCpuBytes != 0 ? plan_.transferCpuBytes : plan_.lineRateBytes;
    const std::string measure = "CPU during a line-rate transfer of " +
                                Grouped(static_cast<long long>(BlocksOf(bytes))) +
                                " blocks, enter-upgrade frame to completion request";
    const std::string goal = Goal(kTransferCpuGoal, " %");
    std::optional<CpuShare> share;
    if (plan_.transferCpuBytes == 0) {
        if (!lineRateCpu_.empty()) {
            share = lineRateCpu_.front();
        }
    } else {
        std::string error;
        const auto upgrade = runs_.Upgrade(Host::Dialog, 1, bytes, true, error);
        if (!upgrade) {
            Add(Unmeasured(measure, error, goal));
            return;
        }
        if (upgrade->transferCpu) {
            share = upgrade->transferCpu->program;
        }
    }
    if (!share) {
        Add(Unmeasured(measure, "the session never reached its completion", goal));
        return;
    }
    Progress("CPU during the transfer: " + Percent(*share));
    Add({measure, Percent(*share), goal, share->percentOfCore <= kTransferCpuGoal});
}

void Measurements::ReadyCpu() {
    std::string error;
    Idle("CPU waiting at STEP_READY (port open, no start: the firmware file is absent)",
         runs_.IdleAtReady(plan_.window, error), error, kReadyCpuGoal);
}

void Measurements::ClosedCpu() {
    std::string error;
    Idle(
        "CPU at STEP_CLOSED (no device at the COM4: path: an open attempt and a look for "
        "the navigation program on every tick)",
        runs_.PortNeverOpens(plan_.window, error), error, kClosedCpuGoal);
    error.clear();
    Idle(
        "CPU at STEP_CLOSED with the port held by another process (opened without a lock: "
        "one read of the watch on that holder on every tick)",
        runs_.PortHeldByAnother(plan_.window, error), error, kClosedCpuGoal);
}

void Measurements::SilentCpu() {
    std::string error;
    Idle("CPU with the MCU silent in the middle of a request (after " +
             std::to_string(ProgramRuns::kBlocksBeforeSilence) + " blocks)",
         runs_.SilentMidFrame(plan_.window, error), error, kSilentCpuGoal);
}

void Measurements::Idle(const std::string& measure, const std::optional<CpuShare>& share,
                        const std::string& error, double goal) {
    if (!share) {
        Add(Unmeasured(measure, error, Goal(goal, " %")));
        return;
    }
    Progress(measure + ": " + Percent(*share));
    Add({measure, Percent(*share), Goal(goal, " %"), share->percentOfCore <= goal});
}

void Measurements::StartsRows() {
    const Starts& starts = runs_.StartsSeen();
    const double megabytes = static_cast<double>(starts.peakKib) * 1024.0 / 1e6;
    Add({"Peak resident memory (VmHWM), largest of " + Counted(starts.runs, "run"),
         Fixed(megabytes, 1) + " MB (" + Grouped(starts.peakKib) + " KiB)",
         Goal(kPeakMemoryGoalMb, " MB"), starts.peakKib > 0 && megabytes <= kPeakMemoryGoalMb});
    const std::string measure =
        "Start to first tick (fork/exec to the first \"step: Step = N\" line), median of " +
        Counted(static_cast<long long>(starts.firstTickMs.size()), "start");
    if (starts.firstTickMs.empty()) {
        Add(Unmeasured(measure, "no start reached its first tick", Goal(kFirstTickGoalMs, " ms")));
        return;
    }
    const double median = Median(starts.firstTickMs);
    Add({measure,
         Fixed(median, 0) + " ms (fastest " + Fixed(Percentile(starts.firstTickMs, 0), 0) +
             ", slowest " + Fixed(Percentile(starts.firstTickMs, 1), 0) + " ms)",
         Goal(kFirstTickGoalMs, " ms"), median <= kFirstTickGoalMs});
}

void Measurements::FlashCpu() {
    const std::string measure = "CPU during the line-rate transfers above, median of " +
                                Counted(static_cast<long long>(flashLineRateCpu_.size()), "run");
    const std::string goal = Goal(kFlashTransferCpuGoal, " %");
    if (flashLineRateCpu_.empty()) {
        Add(Unmeasured(measure, "no transfer reached its completion", goal), Host::Flash);
        return;
    }
    auto shares = flashLineRateCpu_;
    std::sort(shares.begin(), shares.end(), [](const CpuShare& a, const CpuShare& b) {
        return a.percentOfCore < b.percentOfCore;
    });
    const CpuShare& median = shares[shares.size() / 2];
    Progress("vardel-flash, CPU during the transfer: " + Percent(median));
    Add({measure, Percent(median), goal, median.percentOfCore <= kFlashTransferCpuGoal},
        Host::Flash);
}

}  // namespace vardel::bench
