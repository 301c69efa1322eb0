// The moments of the simulated MCUs' sessions that the benchmark measures
// between, with the CPU times read at each on the simulator's thread as it
// happens: the span runs from the first enter-upgrade frame of any session to
// the completion request of the last.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "bench/ProcessProbe.h"
#include "bench/ProgramRuns.h"

namespace vardel::bench {

class SessionEvents {
public:
    explicit SessionEvents(std::size_t sessions) : sessions_(sessions) {}

    void Follow(pid_t pid) { pid_ = pid; }

    std::function<void(std::string_view)> Listener() {
        return [this](std::string_view note) { Take(note); };
    }

    std::optional<TransferCpu> Transfer() const {
        const std::lock_guard<std::mutex> guard(lock_);
        if (!first_ || !last_ || completions_ < sessions_) {
            return std::nullopt;
        }
        return TransferCpu{ShareBetween(first_->program, last_->program),
                           ShareBetween(first_->bench, last_->bench),
                           ShareBetween(first_->machine, last_->machine)};
    }

    bool FellSilent() const { return silent_; }

    std::chrono::duration<double> StartSpread() const {
        const std::lock_guard<std::mutex> guard(lock_);
        return firstStart_ && lastStart_ ? *lastStart_ - *firstStart_ : Clock::duration{0};
    }

private:
    struct Marks {
        CpuMark program;
        CpuMark bench;
        CpuMark machine;
    };

    void Take(std::string_view note);

    const std::size_t sessions_;
    std::atomic<pid_t> pid_{-1};
    std::atomic<bool> silent_{false};
    mutable std::mutex lock_;
    std::size_t completions_ = 0;
    std::optional<Marks> first_;
    std::optional<Marks> last_;
    std::optional<Clock::time_point> firstStart_;
    std::optional<Clock::time_point> lastStart_;
};

}  // namespace vardel::bench
