#include "sim/SimulatedMcu.h"

#include <sys/prctl.h>

#include <utility>

namespace vardel::sim {

namespace {

constexpr std::chrono::milliseconds kLookAgain{10};
constexpr unsigned long kTimerSlackNs = 1;

}  // namespace

SimulatedMcu::~SimulatedMcu() { Stop(); }

bool SimulatedMcu::Open(std::string& error, const std::string& linkPath) {
    terminal_ = PseudoTerminal::Open(error);
    if (!terminal_) {
        return false;
    }
    if (!linkPath.empty()) {
        link_ = DeviceLink::Make(linkPath, terminal_->SlavePath(), error);
        return link_.has_value();
    }
    return true;
}

void SimulatedMcu::Start(Options options, Bytes image) {
    mcu_ = std::make_unique<McuSimulator>(std::move(options), std::move(image));
    session_ = std::thread([this] {
        // The line is paced by sleeps, one a byte; the usual 50 µs of timer
        // slack on each would slow the line by a fifth of a byte time.
        prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
        mcu_->Run(terminal_->Master());
        over_ = true;
    });
}

Verdict SimulatedMcu::AwaitEnd() {
    if (!mcu_) {
        return {};
    }
    Join();
    return mcu_->Result();
}

Verdict SimulatedMcu::Finish(std::chrono::milliseconds grace, const std::function<bool()>& giveUp) {
    if (!mcu_) {
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!over_ && !(giveUp && giveUp()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kLookAgain);
    }
    Stop();
    return mcu_->Result();
}

void SimulatedMcu::Stop() {
    if (mcu_) {
        mcu_->Stop();
    }
    Join();
}

void SimulatedMcu::Join() {
    if (session_.joinable()) {
        session_.join();
    }
}

}  // namespace vardel::sim
