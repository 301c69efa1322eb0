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
#include "flash/Station.h"
#include "flash/StopWatch.h"
#include "flash/Summary.h"
#include "flash/Trace.h"
#include "flash/UnitRun.h"
#include "platform/Console.h"
#include "platform/SerialPorts.h"

namespace vardel::flash {
namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(20);

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
    Display display(MakeScreen(ChooseOutput(options), options.ports, {options.quiet, {}}));
    const auto refuse = [&](const std::string& error) {
        display.Error(error);
        display.Close({}, [] { return false; });
        return kExitUsage;
    };
    if (const auto twice = SamePortTwice(options.ports)) return refuse(*twice);
    Firmware firmware;
    std::string error;
    if (!ReadFirmware(*MakePlatform({}), options.firmware, firmware, error)) {
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
    return options.watch ? RunStation(options) : Flash(options);
}
