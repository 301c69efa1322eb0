// vardel-flash: the upgrade from the command line, on any serial port, for one
// unit or several at once, each with its own MCU leading.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

#include "flash/Display.h"
#include "flash/ExitStatus.h"
#include "flash/FirmwareFile.h"
#include "flash/Options.h"
#include "flash/PortList.h"
#include "flash/Summary.h"
#include "flash/Trace.h"
#include "flash/UnitRun.h"
#include "platform/Console.h"
#include "platform/SerialPorts.h"

namespace vardel::flash {
namespace {

using Clock = std::chrono::steady_clock;

// A second Ctrl-C within this time stops every unit.
constexpr auto kSecondInterruptWithin = std::chrono::seconds(5);
constexpr auto kLookEvery = std::chrono::milliseconds(20);
// Once the user has stopped the run, output that does not drain within this
// time is given up, so that the program ends within a second.
constexpr auto kOutputGraceAfterStop = std::chrono::milliseconds(300);

Output ChooseOutput(const Options& options) {
    if (options.json) return Output::Json;
    return StandardOutputIsTerminal() ? Output::Terminal : Output::Plain;
}

// Ctrl-C in the middle of an upgrade leaves a unit without firmware: the
// first one only warns; a second soon after, or a request to end, stops all.
// A terminal that hangs up (a dropped SSH session) stops nothing: the units
// go on to their end.
class StopWatch {
public:
    StopWatch(Display& display, std::atomic<bool>& stop)
        : display_(display), stop_(stop), requests_(WatchStopRequests()) {}
    void Look() {
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
    // Once stopped, whether the output has had its time.
    [[nodiscard]] bool OutputOverdue() const {
        return stopped_ && Clock::now() - stoppedAt_ > kOutputGraceAfterStop;
    }

private:
    void Stop() {
        stop_.store(true);
        if (!stopped_) stoppedAt_ = Clock::now();
        stopped_ = true;
    }

    Display& display_;
    std::atomic<bool>& stop_;
    const StopRequests& requests_;
    unsigned seen_ = 0;
    unsigned hangups_ = 0;
    // Flags beside plain times: GCC 12 at -O3 takes an optional time here for
    // one read before it is set (-Wmaybe-uninitialized).
    bool warned_ = false;
    Clock::time_point warnedAt_{};
    bool stopped_ = false;
    Clock::time_point stoppedAt_{};
};

// Two names of one port would be two units fighting over one line.
std::optional<std::string> SamePortTwice(const std::vector<std::string>& ports) {
    std::map<std::string, std::string> byIdentity;
    for (const auto& port : ports) {
        const auto [at, added] = byIdentity.emplace(PortIdentity(port), port);
        if (!added) return "the port " + at->second + " is named twice (also as " + port + ")";
    }
    return std::nullopt;
}

int Flash(const Options& options) {
    Display display(MakeScreen(ChooseOutput(options), options.ports, options.quiet));
    const auto refuse = [&](const std::string& error) {
        display.Error(error);
        display.Close({}, [] { return false; });
        return kExitUsage;
    };
    if (const auto twice = SamePortTwice(options.ports)) return refuse(*twice);
    Firmware firmware;
    std::string error;
    if (!ReadFirmware(*MakePlatform(options.ports.front()), options.firmware, firmware, error)) {
        return refuse(error);
    }
    std::unique_ptr<Trace> trace;
    if (!options.trace.empty()) {
        trace = std::make_unique<Trace>(options.trace, options.ports);
        if (!trace->Opened()) return refuse(options.trace + ": " + trace->Error());
    }
    for (const auto& warning : firmware.warnings) display.Notice(warning);
    for (const auto& port : options.ports) {
        if (const auto warning = AdapterLatencyWarning(port); !warning.empty()) {
            display.Notice(warning);
        }
    }

    std::atomic<bool> stop{false};
    StopWatch stopWatch(display, stop);
    std::vector<UnitSetup> setups(options.ports.size());
    std::vector<UnitResult> results(options.ports.size());
    std::atomic<std::size_t> running{options.ports.size()};
    std::vector<std::thread> units;
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        setups[i] = {i,
                     options.ports[i],
                     &firmware,
                     std::chrono::seconds(options.timeoutSeconds),
                     options.reset,
                     options.checkOnly,
                     trace ? trace->TapOf(i) : UnitPlatform::LineTap()};
        units.emplace_back([&, i] {
            results[i] = RunUnit(setups[i], display, stop);
            running.fetch_sub(1);
        });
    }
    while (running.load() > 0) {
        std::this_thread::sleep_for(kLookEvery);
        stopWatch.Look();
    }
    for (auto& unit : units) unit.join();
    if (trace) trace->Close();
    const int status = ExitStatus(results);
    // The ports are released: only the output may still be waiting, on a
    // terminal paused with Ctrl-S or a pipe nobody reads. It is waited for
    // unless the user asks to stop; then it is given up.
    const bool drawn = display.Close(results, [&] {
        stopWatch.Look();
        return stopWatch.OutputOverdue();
    });
    if (!drawn) std::_Exit(status);
    return status;
}

}  // namespace
}  // namespace vardel::flash

int main(int argc, char** argv) {
    using namespace vardel::flash;
    std::vector<std::string> arguments = vardel::Arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size());
    for (auto& argument : arguments) pointers.push_back(argument.data());
    Options options;
    if (const auto status =
            ParseOptions(static_cast<int>(pointers.size()), pointers.data(), options)) {
        return *status;
    }
    if (options.listPorts) {
        PrintSerialPorts(vardel::ListSerialPorts(), std::cout, options.json);
        return kExitAllCompleted;
    }
    return Flash(options);
}
