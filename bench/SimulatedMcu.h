// The MCU's end for one run of the program: a pseudo-terminal, a link to it
// at the path the program opens as "COM4:", and the simulator playing its
// session on a thread of its own. Going away stops the simulator, joins its
// thread and removes the link.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "sim/McuSimulator.h"
#include "sim/PseudoTerminal.h"

namespace vardel::bench {

class SimulatedMcu {
public:
    SimulatedMcu() = default;
    ~SimulatedMcu();
    SimulatedMcu(const SimulatedMcu&) = delete;
    SimulatedMcu& operator=(const SimulatedMcu&) = delete;

    // Opens the terminal and makes the link at `devicePath`.
    bool Open(const std::string& devicePath, std::string& error);
    // Starts the session; call once, after Open().
    void Start(sim::Options options, sim::Bytes image);
    // Gives the session up to `grace` to end by itself, then stops it; its verdict.
    sim::Verdict Finish(std::chrono::milliseconds grace);

private:
    void Join();

    // In this order, so that the thread is gone before the simulator and the
    // terminal it works on.
    std::optional<sim::PseudoTerminal> terminal_;
    std::optional<sim::DeviceLink> link_;
    std::unique_ptr<sim::McuSimulator> mcu_;
    std::atomic<bool> over_{false};
    std::thread session_;
};

}  // namespace vardel::bench
