// What the benchmark measures and how much of each: the plan's measurements,
// taken in turn against the whole program, each giving rows of the table and
// a note on how its figures were taken.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench/ProcessProbe.h"
#include "bench/ProgramRuns.h"
#include "bench/Report.h"

namespace vardel::bench {

// How much of each the benchmark does.
struct Plan {
    int lineRateRuns = 0;
    std::size_t lineRateBytes = 0;
    int latencyRuns = 0;
    std::size_t latencyBytes = 0;
    std::size_t transferCpuBytes = 0;     // 0: CPU use is taken from the line-rate runs
    std::chrono::milliseconds window{0};  // for CPU use in each waiting state
    // vardel-flash with this many units at once, at the line rate; 0: none.
    std::array<std::size_t, 5> unitCounts{};
    // The station: units that appear one at a time, to time their start;
    // then units arriving over time at the line rate, this many at once.
    std::size_t stationArrivals = 0;
    std::size_t stationUnits = 0;
    std::size_t stationParallel = 0;
};

constexpr Plan kFullPlan{
    3, 28'672, 2, 65'536, 65'536, std::chrono::milliseconds{10'000}, {1, 2, 4, 8, 16}, 50, 32, 8};
constexpr Plan kQuickPlan{1,      4'096, 1, 8'192, 0, std::chrono::milliseconds{1'000},
                          {1, 2}, 10,    4, 2};

// The line time of an image's blocks and their requests at 38,400 baud.
double IdealSeconds(std::size_t bytes);
// An image's whole blocks.
std::size_t BlocksOf(std::size_t bytes);
// A time in milliseconds.
double Ms(std::chrono::microseconds time);

// Runs the plan's measurements in turn, until the benchmark is interrupted,
// and keeps their rows.
class Measurements {
public:
    Measurements(ProgramRuns& runs, const Plan& plan) : runs_(runs), plan_(plan) {}

    void Run();
    const std::vector<Row>& Rows(Host host) const {
        return host == Host::Dialog ? rows_ : flashRows_;
    }
    // How vardel-flash's figures were taken, and where its scaling stopped.
    std::vector<std::string> FlashNotes() const;
    bool AllMeasured() const { return allMeasured_; }

private:
    void Add(Row row, Host host = Host::Dialog);
    void LineRate(Host host);
    void DialogLineRate() { LineRate(Host::Dialog); }
    void FlashLineRate() { LineRate(Host::Flash); }
    void DialogLatency() { Latency(Host::Dialog); }
    void FlashLatency() { Latency(Host::Flash); }
    void Floor();
    void Latency(Host host);
    void FlashCpu();
    void Scaling();
    void BenchLine();
    void StationRows();
    void StationArrivals();
    // One run of vardel-flash with `units` at once, and its row.
    struct ScalePoint {
        double ratio = 0;  // × one unit's ideal
        std::string cost;  // where the time and the CPU went
    };
    std::optional<ScalePoint> ScaleTo(std::size_t units);
    void TransferCpu();
    void ReadyCpu();
    void ClosedCpu();
    void SilentCpu();
    void Idle(const std::string& measure, const std::optional<CpuShare>& share,
              const std::string& error, double goal);
    void StartsRows();

    ProgramRuns& runs_;
    const Plan& plan_;
    std::vector<Row> rows_;
    std::vector<Row> flashRows_;
    std::vector<CpuShare> lineRateCpu_;
    std::vector<CpuShare> flashLineRateCpu_;
    std::string scalingNote_;
    std::optional<double> floorRatio_;  // the instant host's line rate, × ideal
    bool allMeasured_ = true;
};

// How the figures were taken, for the notes under the table.
std::vector<std::string> Notes(const Plan& plan, bool quick);

}  // namespace vardel::bench
