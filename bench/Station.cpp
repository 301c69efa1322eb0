// vardel-flash --watch as a flashing station: how soon a unit's enter-upgrade
// frame follows its port's appearance, what the station costs while nothing
// happens, and units arriving over time at the line rate, a few at once.
// The units are simulated MCUs of the benchmark's own, each behind a link
// made in the watched folder as udev makes an adapter's name.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/ChildProgram.h"
#include "bench/Interruption.h"
#include "bench/Measurements.h"
#include "sim/DemoImage.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedMcu.h"

namespace vardel::bench {
namespace {

using namespace std::chrono_literals;

constexpr double kArrivalGoalMs = 200;
constexpr double kIdleGoalPercent = 0.1;
constexpr double kArrivalsGoal = 1.10;  // × the ideal schedule of the arrivals
constexpr auto kUnitEndsWithin = 60s;
constexpr auto kArrivalSpacing = 250ms;

// Every thread's processor time so far, to the nanosecond.
std::optional<double> CpuSeconds(pid_t pid) {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code failed;
    double total = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, failed)) {
        std::ifstream stat(task.path() / "schedstat");
        long long ns = 0;
        if (stat >> ns) total += static_cast<double>(ns) / 1e9;
    }
    if (failed) return std::nullopt;
    return total;
}

// One unit on the bench: its MCU, and the link that makes its port appear.
struct Unit {
    sim::SimulatedMcu mcu;
    std::optional<sim::DeviceLink> link;
    Clock::time_point appearedAt;
};

bool Plug(Unit& unit, const std::string& path, const sim::Options& options, const sim::Bytes& image,
          std::string& error) {
    if (!unit.mcu.Open(error)) return false;
    unit.mcu.Start(options, image);
    unit.appearedAt = Clock::now();
    unit.link = sim::DeviceLink::Make(path, unit.mcu.Terminal().SlavePath(), error);
    return unit.link.has_value();
}

// When `count` units arriving `spacing` apart, each taking `seconds`, end at
// best with `parallel` flashed at once: from the first arrival.
double IdealSchedule(std::size_t count, std::size_t parallel, double spacing, double seconds) {
    std::vector<double> freeAt(parallel, 0);
    double end = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto slot = std::min_element(freeAt.begin(), freeAt.end());
        *slot = std::max(*slot, static_cast<double>(i) * spacing) + seconds;
        end = std::max(end, *slot);
    }
    return end;
}

class Station {
public:
    // Watches for ports and flashes `image` to each, `parallel` at once (0:
    // no limit).
    Station(const BenchSetup& setup, const sim::Bytes& image, std::size_t parallel,
            std::string& error)
        : folder_(setup.folder + "/station") {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_ + "/ports");
        std::ofstream(folder_ + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        std::vector<std::string> arguments = {"--watch", "--json", folder_ + "/ports/*"};
        if (parallel > 0) {
            arguments.insert(arguments.end(), {"--max-parallel", std::to_string(parallel)});
        }
        arguments.push_back(folder_ + "/fw.bin");
        started_ = program_.Start(setup.flash, arguments, folder_ + "/station.err", error) &&
                   program_.AwaitLine({"{\"event\":\"notice\""}, Clock::now() + 10s);
        if (!started_ && error.empty()) error = "the station did not start";
    }
    ~Station() { program_.End(2s); }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    [[nodiscard]] bool Started() const { return started_; }
    [[nodiscard]] std::string Port(std::size_t n) const {
        return folder_ + "/ports/unit" + std::to_string(n);
    }
    ChildProgram& Program() { return program_; }
    // Until the station has told `count` slots gone.
    bool AwaitGone(std::size_t count) {
        return program_.AwaitCondition(
            [&] {
                return static_cast<std::size_t>(
                           std::count_if(program_.Lines().begin(), program_.Lines().end(),
                                         [](const OutputLine& line) {
                                             return line.text.find("\"event\":\"slot_gone\"") !=
                                                    std::string::npos;
                                         })) >= count;
            },
            Clock::now() + 10s);
    }

private:
    std::string folder_;
    ChildProgram program_;
    bool started_ = false;
};

}  // namespace

void Measurements::StationRows() {
    std::string error;
    const std::size_t arrivals = plan_.stationArrivals;
    // One unit at a time appears, is flashed (16 blocks, unpaced) and goes.
    std::vector<double> latencies;
    std::optional<double> idle;
    {
        const sim::Bytes image = sim::DemoImage(1024);
        Station station(runs_.Setup(), image, 0, error);
        for (std::size_t i = 0; station.Started() && i < arrivals && !Interrupted(); ++i) {
            Unit unit;
            if (!Plug(unit, station.Port(0), {}, image, error)) break;
            const sim::Verdict verdict = unit.mcu.Finish(kUnitEndsWithin);
            if (!verdict.handshakeSeen) {
                error = "no enter-upgrade frame after arrival " + std::to_string(i + 1);
                break;
            }
            latencies.push_back(
                std::chrono::duration<double, std::milli>(verdict.handshakeAt - unit.appearedAt)
                    .count());
            // Its port goes, and the station sees it gone, before the next comes.
            unit.link.reset();
            if (!station.AwaitGone(i + 1)) {
                error = "the station never saw arrival " + std::to_string(i + 1) + " go";
                break;
            }
        }
        const auto before = CpuSeconds(station.Program().Pid());
        station.Program().Watch(Clock::now() + plan_.window);
        const auto after = CpuSeconds(station.Program().Pid());
        if (before && after) {
            idle = (*after - *before) / std::chrono::duration<double>(plan_.window).count() * 100;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const bool allArrived = latencies.size() == arrivals;
    const std::string arrivalGoal = "≤ " + Fixed(kArrivalGoalMs, 0) + " ms";
    if (!allArrived) {
        Add({"station: a port's appearance to its unit's enter-upgrade frame",
             "not measured: " + error, arrivalGoal, false},
            Host::Flash);
        allMeasured_ = false;
    } else {
        const double median = latencies[latencies.size() / 2];
        Add({"station: a port's appearance to its unit's enter-upgrade frame, over " +
                 std::to_string(arrivals) + " arrivals",
             "median " + Fixed(median, 1) + " ms, worst " + Fixed(latencies.back(), 1) + " ms",
             arrivalGoal, latencies.back() <= kArrivalGoalMs},
            Host::Flash);
    }
    const std::string idleGoal = "≤ " + Fixed(kIdleGoalPercent, 1) + " % of a core";
    Add({"station: CPU while idle, all its threads, over " +
             Fixed(std::chrono::duration<double>(plan_.window).count(), 0) + " s",
         idle ? Fixed(*idle, 3) + " % of a core" : "not measured", idleGoal,
         idle ? std::optional<bool>(*idle <= kIdleGoalPercent) : false},
        Host::Flash);
    allMeasured_ = allMeasured_ && idle.has_value();
    StationArrivals();
}

// Units at the line rate arriving kArrivalSpacing apart, --max-parallel of
// them at once: from the first appearance to the last completion request,
// against the best the same arrivals allow.
void Measurements::StationArrivals() {
    const std::size_t count = plan_.stationUnits;
    const std::size_t parallel = plan_.stationParallel;
    const std::size_t bytes = plan_.lineRateBytes;
    const std::string measure = "station: " + std::to_string(count) + " units arriving " +
                                Fixed(std::chrono::duration<double>(kArrivalSpacing).count(), 2) +
                                " s apart, " + std::to_string(parallel) +
                                " at once, at the line rate";
    const std::string goal = "≤ " + Fixed(kArrivalsGoal, 2) + " × the ideal schedule";
    std::string error;
    const sim::Bytes image = sim::DemoImage(bytes);
    Station station(runs_.Setup(), image, parallel, error);
    std::vector<std::unique_ptr<Unit>> units;
    sim::Options options;
    options.lineRate = true;
    options.handshakeTimeout =
        std::chrono::milliseconds{0};  // a unit waits its turn as long as it takes
    for (std::size_t i = 0; station.Started() && i < count && !Interrupted(); ++i) {
        units.push_back(std::make_unique<Unit>());
        if (!Plug(*units.back(), station.Port(i), options, image, error)) break;
        std::this_thread::sleep_for(kArrivalSpacing);
    }
    Clock::time_point last{};
    bool whole = units.size() == count;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const sim::Verdict verdict = units[i]->mcu.Finish(kUnitEndsWithin);
        if (!verdict.Passed() && error.empty()) {
            error = "unit " + std::to_string(i + 1) + ": " + verdict.Text();
        }
        whole = whole && verdict.Passed();
        last = std::max(last, verdict.handshakeAt + verdict.transferTime);
    }
    if (!whole) {
        Add({measure, "not measured: " + error, goal, false}, Host::Flash);
        allMeasured_ = false;
        return;
    }
    const double wall = std::chrono::duration<double>(last - units.front()->appearedAt).count();
    const double ideal =
        IdealSchedule(count, parallel, std::chrono::duration<double>(kArrivalSpacing).count(),
                      IdealSeconds(bytes));
    Add({measure,
         Fixed(wall, 2) + " s against " + Fixed(ideal, 2) + " s = " + Fixed(wall / ideal, 3) +
             " × ideal",
         goal, wall / ideal <= kArrivalsGoal},
        Host::Flash);
}

}  // namespace vardel::bench
