#include "flash/Station.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "flash/Display.h"
#include "flash/ExitStatus.h"
#include "flash/FirmwareFile.h"
#include "flash/StopWatch.h"
#include "flash/Trace.h"
#include "flash/UnitRun.h"
#include "platform/Console.h"
#include "platform/PortWatch.h"

namespace vardel::flash {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the station looks at what the watch does not wake it for: the
// user's requests, units that ended, Enter; less often while no unit runs
// or waits, so that an idle station costs next to nothing.
constexpr auto kLookEvery = 50ms;
constexpr auto kLookIdle = 200ms;
// An adapter's names and its node's permissions come one after another; the
// station acts once they have been quiet this long (and no later than
// kSettleAtMost after the first).
constexpr auto kSettleQuiet = 20ms;
constexpr auto kSettleAtMost = 100ms;
// A port that another program holds is tried again this often until it is
// free; it is never taken from its holder.
constexpr auto kInUseRetry = 1s;

struct Slot {
    std::size_t index = 0;        // its line on the display
    std::set<std::string> names;  // every name its device has had
    std::string path;             // the name it is present under now
    bool present = true;
    bool armed = false;  // its unit is to be flashed when its turn comes
    bool waitingShown = false;
    std::uint32_t ended = 0;  // units that completed or failed on it
    std::optional<Clock::time_point> inUseAt;
    // Its unit, on a thread of its own, while it runs.
    UnitSetup setup;
    std::unique_ptr<Trace> trace;
    std::thread thread;
    std::atomic<bool> finished{false};
    UnitResult result;
    [[nodiscard]] bool Running() const { return thread.joinable(); }
};

// "usb-FTDI_FT232R-if00-port0-3.trace": the port's own name and the unit's
// number on it.
std::filesystem::path TracePath(const std::string& folder, const std::string& port,
                                std::uint32_t sequence) {
    std::string name = std::filesystem::path(port).filename().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == ':' || c == '\\'; }, '_');
    return std::filesystem::path(folder) / (name + "-" + std::to_string(sequence) + ".trace");
}

class Station {
public:
    Station(const Options& options, const Firmware& firmware, PortWatch& watch, Display& display)
        : options_(options), firmware_(firmware), watch_(watch), display_(display) {}

    int Run() {
        std::atomic<bool> stop{false};
        StopWatch stopWatch(display_, stop);
        std::optional<EnterKeys> keys(std::in_place);
        Reconcile(!options_.skipPresent);
        for (;;) {
            stopWatch.Look();
            if (stop.load()) break;
            if (watch_.Wait(Busy() ? kLookEvery : kLookIdle)) {
                Settle();
                Reconcile(true);
            }
            if (keys->Pressed()) Rearm();
            Reap();
            Schedule(stop);
        }
        // The terminal's echo comes back now: an output that never drains
        // ends the program below without running destructors.
        keys.reset();
        for (auto& slot : slots_) {
            if (slot->Running()) slot->thread.join();
        }
        Reap();
        const int status = cut_ ? kExitStopped : kExitAllCompleted;
        const bool drawn = display_.Close(
            {},
            [&] {
                stopWatch.Look();
                return stopWatch.OutputOverdue();
            },
            true);
        if (!drawn) std::_Exit(status);
        return status;
    }

private:
    // A unit runs, or one waits for its turn or for its port to be free.
    [[nodiscard]] bool Busy() const {
        return std::any_of(slots_.begin(), slots_.end(), [](const auto& slot) {
            return slot->Running() || (slot->armed && slot->present);
        });
    }

    void Settle() {
        const auto until = Clock::now() + kSettleAtMost;
        while (Clock::now() < until && watch_.Wait(kSettleQuiet)) {
        }
    }

    void Report(Slot& slot, UnitEvent::Kind kind, std::string text = {}) {
        UnitEvent event;
        event.kind = kind;
        event.text = std::move(text);
        event.sequence = slot.ended + 1;
        display_.Report(slot.index, event);
    }

    // The slot a port belongs to: the one that has had any of its names.
    Slot* Find(const WatchedPort& port) {
        for (auto& slot : slots_) {
            for (const auto& name : port.names) {
                if (slot->names.count(name) != 0) return slot.get();
            }
        }
        return nullptr;
    }

    // Brings the slots up to the ports present now. `armNew`: a port that
    // appears gets its unit flashed (not so for those present at the start
    // with --skip-present).
    void Reconcile(bool armNew) {
        std::set<Slot*> seen;
        for (const WatchedPort& port : watch_.Present()) {
            Slot* slot = Find(port);
            if (slot == nullptr) {
                slots_.push_back(std::make_unique<Slot>());
                slot = slots_.back().get();
                slot->index = slots_.size() - 1;
                slot->armed = armNew;
                Report(*slot, UnitEvent::Kind::Appeared, port.path);
            } else if (!slot->present && !slot->Running()) {
                // Back after its unit ended: a new unit.
                slot->armed = true;
                Report(*slot, UnitEvent::Kind::Appeared, port.path);
            }
            slot->names.insert(port.names.begin(), port.names.end());
            slot->path = port.path;
            slot->present = true;
            seen.insert(slot);
        }
        for (auto& slot : slots_) {
            if (!slot->present || seen.count(slot.get()) != 0) continue;
            slot->present = false;
            slot->armed = false;
            slot->waitingShown = false;
            // A running unit waits for its port by itself; it is gone once it ends.
            if (!slot->Running()) Report(*slot, UnitEvent::Kind::Gone);
        }
    }

    // Enter: the finished units whose ports are still there are flashed
    // again (the operator swapped units on a fixed adapter).
    void Rearm() {
        std::size_t count = 0;
        for (auto& slot : slots_) {
            if (slot->present && !slot->Running() && !slot->armed && slot->ended > 0) {
                slot->armed = true;
                ++count;
            }
        }
        display_.Notice(count == 0
                            ? "Enter: no finished unit is plugged in to flash again"
                            : "Enter: flashing again the " + std::to_string(count) +
                                  " finished unit" + (count == 1 ? "" : "s") + " still plugged in");
    }

    void Reap() {
        for (auto& slot : slots_) {
            if (!slot->finished.load()) continue;
            if (slot->thread.joinable()) slot->thread.join();
            slot->finished = false;
            if (slot->trace) slot->trace->Close();
            slot->trace.reset();
            cut_ = cut_ || slot->result.outcome == Outcome::Stopped;
            if (slot->result.portInUse) {
                slot->inUseAt = Clock::now();
            } else {
                slot->inUseAt.reset();
                slot->armed = false;
                ++slot->ended;
            }
            if (!slot->present) Report(*slot, UnitEvent::Kind::Gone);
        }
    }

    void Schedule(const std::atomic<bool>& stop) {
        if (stop.load()) return;
        std::size_t running = static_cast<std::size_t>(std::count_if(
            slots_.begin(), slots_.end(), [](const auto& slot) { return slot->Running(); }));
        for (auto& slot : slots_) {
            if (!slot->armed || !slot->present || slot->Running()) continue;
            if (slot->inUseAt && Clock::now() - *slot->inUseAt < kInUseRetry) continue;
            if (options_.maxParallel != 0 && running >= options_.maxParallel) {
                if (!slot->waitingShown) Report(*slot, UnitEvent::Kind::Waiting);
                slot->waitingShown = true;
                continue;
            }
            Start(*slot, stop);
            ++running;
        }
    }

    void Start(Slot& slot, const std::atomic<bool>& stop) {
        slot.waitingShown = false;
        const std::uint32_t sequence = slot.ended + 1;
        Report(slot, UnitEvent::Kind::Start);
        UnitPlatform::LineTap tap;
        if (!options_.trace.empty()) {
            slot.trace =
                std::make_unique<Trace>(TracePath(options_.trace, slot.path, sequence).string(),
                                        std::vector<std::string>{slot.path});
            if (slot.trace->Opened()) {
                tap = slot.trace->TapOf(0);
            } else {
                display_.Notice("no trace of " + slot.path + ": " + slot.trace->Error());
                slot.trace.reset();
            }
        }
        slot.setup = {
            slot.index,     slot.path, &firmware_,    std::chrono::seconds(options_.timeoutSeconds),
            options_.reset, false,     std::move(tap)};
        slot.thread = std::thread([this, &slot, &stop] {
            slot.result = RunUnit(slot.setup, display_, stop);
            slot.finished = true;
        });
    }

    const Options& options_;
    const Firmware& firmware_;
    PortWatch& watch_;
    Display& display_;
    std::vector<std::unique_ptr<Slot>> slots_;
    bool cut_ = false;  // a unit was stopped in the middle of its upgrade
};

std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

int RunStation(const Options& options) {
    Firmware firmware;
    std::string error;
    const bool read = ReadFirmware(*MakePlatform({}), options.firmware, firmware, error);
    ScreenSetup setup{options.quiet,
                      FileName(options.firmware) + ", " + Grouped(firmware.fileSize) + " bytes"};
    auto screen = MakeScreen(ChooseOutput(options), {}, setup);
    std::unique_ptr<Screen> log;
    std::string logError;
    if (!options.log.empty()) log = MakeLogScreen(options.log, setup, logError);
    if (log) screen = BothScreens(std::move(screen), std::move(log));
    Display display(std::move(screen));
    const auto refuse = [&](const std::string& text) {
        display.Error(text);
        display.Close({}, [] { return false; });
        return kExitUsage;
    };
    if (!read) return refuse(error);
    if (!logError.empty()) return refuse("--log " + logError);
    if (!options.trace.empty() && !std::filesystem::is_directory(options.trace)) {
        return refuse("--trace " + options.trace + ": with --watch, a folder that exists");
    }
    const auto watch = WatchPorts(options.patterns, error);
    if (!watch) return refuse(error);
    for (const auto& warning : firmware.warnings) display.Notice(warning);
    std::string patterns;
    for (const auto& pattern : options.patterns) patterns += " " + pattern;
    display.Notice("watching" + patterns + "; two Ctrl-C within 5 s stop the station");
    return Station(options, firmware, *watch, display).Run();
}

}  // namespace vardel::flash
