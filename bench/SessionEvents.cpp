#include "bench/SessionEvents.h"

#include <unistd.h>

namespace vardel::bench {

namespace {

// What the simulator tells of its session.
constexpr std::string_view kHandshakeNote = "enter-upgrade frame received";
constexpr std::string_view kCompletionNote = "completion request sent";
constexpr std::string_view kSilenceNote = "falling silent";

}  // namespace

void SessionEvents::Take(std::string_view note) {
    if (note == kSilenceNote) {
        silent_ = true;
        return;
    }
    if (note != kHandshakeNote && note != kCompletionNote) {
        return;
    }
    const auto now = Clock::now();
    const auto program = ReadCpu(pid_);
    const auto bench = ReadCpu(getpid());
    const auto machine = ReadMachineBusy();
    const std::lock_guard<std::mutex> guard(lock_);
    std::optional<Marks> marks;
    if (program && bench && machine) {
        marks = Marks{*program, *bench, *machine};
    }
    if (note == kCompletionNote) {
        ++completions_;
        last_ = marks;
        return;
    }
    lastStart_ = now;
    if (!firstStart_) {
        firstStart_ = now;
        first_ = marks;
    }
}

}  // namespace vardel::bench
