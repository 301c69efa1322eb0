// The user's requests to stop, as vardel-flash answers them. Ctrl-C in the
// middle of an upgrade leaves a unit without firmware: the first one only
// warns; a second soon after, or a request to end (SIGTERM, a closed
// console), stops all. A terminal that hangs up (a dropped SSH session) stops
// nothing: the units go on to their end.
#pragma once

#include <atomic>
#include <chrono>

#include "flash/Display.h"
#include "platform/Console.h"

namespace vardel::flash {

class StopWatch {
public:
    using Clock = std::chrono::steady_clock;

    StopWatch(Display& display, std::atomic<bool>& stop);
    // Looks at the requests that came since the last look.
    void Look();
    // Once stopped, whether the output has had its time.
    [[nodiscard]] bool OutputOverdue() const;
    [[nodiscard]] bool Stopped() const { return stopped_; }

private:
    void Stop();

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

}  // namespace vardel::flash
