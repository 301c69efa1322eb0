// vardel-flash: the upgrade from the command line, on any serial port, for one
// unit or several at once, each with its own MCU leading.
#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "flash/Displays.h"
#include "flash/FirmwareFile.h"
#include "flash/Options.h"
#include "flash/Summary.h"
#include "flash/UnitRun.h"
#include "platform/Console.h"
#include "platform/SerialPorts.h"

namespace vardel::flash {
namespace {

// A second Ctrl-C within this time stops every unit.
constexpr auto kSecondInterruptWithin = std::chrono::seconds(5);
constexpr auto kLookEvery = std::chrono::milliseconds(20);

Output ChooseOutput(const Options& options) {
    if (options.json) return Output::Json;
    return StandardOutputIsTerminal() ? Output::Terminal : Output::Plain;
}

// Ctrl-C in the middle of an upgrade leaves a unit without firmware: the
// first one only warns; a second soon after, or a request to end, stops all.
class StopWatch {
public:
    StopWatch(Display& display, std::atomic<bool>& stop) : display_(display), stop_(stop) {
        WatchStopRequests(requests_);
    }
    void Look() {
        if (requests_.endNow.load()) stop_.store(true);
        const unsigned interrupts = requests_.interrupts.load();
        const unsigned fresh = interrupts - seen_;
        if (fresh == 0) return;
        seen_ = interrupts;
        const auto now = std::chrono::steady_clock::now();
        // Two may have come between two looks.
        if (fresh > 1 || (warnedAt_ && now - *warnedAt_ <= kSecondInterruptWithin)) {
            stop_.store(true);
            return;
        }
        warnedAt_ = now;
        display_.Notice("press Ctrl-C again within 5 s to stop; the units will need a new upgrade");
    }

private:
    Display& display_;
    std::atomic<bool>& stop_;
    StopRequests requests_;
    unsigned seen_ = 0;
    std::optional<std::chrono::steady_clock::time_point> warnedAt_;
};

int Flash(const Options& options) {
    Firmware firmware;
    std::string error;
    if (!ReadFirmware(*MakePlatform(options.ports.front()), options.firmware, firmware, error)) {
        std::cerr << "vardel-flash: " << error << '\n';
        return kExitUsage;
    }
    const auto display = MakeDisplay(ChooseOutput(options), options.ports, options.quiet);
    for (const auto& warning : firmware.warnings) display->Notice(warning);

    std::atomic<bool> stop{false};
    StopWatch stopWatch(*display, stop);
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
                     options.checkOnly};
        units.emplace_back([&, i] {
            results[i] = RunUnit(setups[i], *display, stop);
            running.fetch_sub(1);
        });
    }
    while (running.load() > 0) {
        std::this_thread::sleep_for(kLookEvery);
        stopWatch.Look();
    }
    for (auto& unit : units) unit.join();
    display->Summary(results);
    return ExitStatus(results);
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
        vardel::PrintSerialPorts(vardel::ListSerialPorts(), std::cout, options.json);
        return kExitAllCompleted;
    }
    return Flash(options);
}
