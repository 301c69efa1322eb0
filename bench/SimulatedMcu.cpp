#include "bench/SimulatedMcu.h"

#include <sys/prctl.h>

#include <utility>

#include "bench/Interruption.h"

namespace vardel::bench {

namespace {

constexpr std::chrono::milliseconds kLookAgain{10};
constexpr unsigned long kTimerSlackNs = 1;

}  // namespace

SimulatedMcu::~SimulatedMcu() { Join(); }

bool SimulatedMcu::Open(const std::string& devicePath, std::string& error) {
    terminal_ = sim::PseudoTerminal::Open(error);
    if (!terminal_) {
        return false;
    }
    link_ = sim::DeviceLink::Make(devicePath, terminal_->SlavePath(), error);
    return link_.has_value();
}

void SimulatedMcu::Start(sim::Options options, sim::Bytes image) {
    mcu_ = std::make_unique<sim::McuSimulator>(std::move(options), std::move(image));
    session_ = std::thread([this] {
        // The line is paced by sleeps, one a byte; the usual 50 µs of timer
        // slack on each would slow the line by a fifth of a byte time.
        prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
        mcu_->Run(terminal_->Master());
        over_ = true;
    });
}

sim::Verdict SimulatedMcu::Finish(std::chrono::milliseconds grace) {
    if (!mcu_) {
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!over_ && !Interrupted() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kLookAgain);
    }
    Join();
    return mcu_->Result();
}

void SimulatedMcu::Join() {
    if (session_.joinable()) {
        mcu_->Stop();
        session_.join();
    }
}

}  // namespace vardel::bench
