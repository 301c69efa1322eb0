// The MCU's end for one run of a host: a pseudo-terminal, optionally a link
// to it at the path the host opens as its serial device, and the simulator
// playing its session on a thread of its own. Going away stops the
// simulator, joins its thread and removes the link.
//
//     SimulatedMcu mcu;
//     mcu.Open(error, "/tmp/COM4");   // or no link: the host opens Terminal().SlavePath()
//     mcu.Start(options, image);
//     ...                             // the host does its part
//     Verdict verdict = mcu.Finish(grace);
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "sim/McuSimulator.h"
#include "sim/PseudoTerminal.h"

namespace vardel::sim {

class SimulatedMcu {
public:
    SimulatedMcu() = default;
    ~SimulatedMcu();
    SimulatedMcu(const SimulatedMcu&) = delete;
    SimulatedMcu& operator=(const SimulatedMcu&) = delete;

    // Opens the terminal and, unless `linkPath` is empty, makes the link there.
    bool Open(std::string& error, const std::string& linkPath = {});
    // The terminal; only after Open() has succeeded.
    const PseudoTerminal& Terminal() const { return *terminal_; }
    // Starts the session; call once, after Open().
    void Start(Options options, Bytes image);

    // Waits, without a limit, for the session to end by itself; its verdict.
    Verdict AwaitEnd();
    // Gives the session up to `grace` to end by itself (less once `giveUp`
    // holds), then stops it; its verdict.
    Verdict Finish(std::chrono::milliseconds grace, const std::function<bool()>& giveUp = {});
    // Ends the session at once.
    void Stop();

private:
    void Join();

    // In this order, so that the thread is gone before the simulator and the
    // terminal it works on.
    std::optional<PseudoTerminal> terminal_;
    std::optional<DeviceLink> link_;
    std::unique_ptr<McuSimulator> mcu_;
    std::atomic<bool> over_{false};
    std::thread session_;
};

}  // namespace vardel::sim
