#include "sim/Line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>

namespace vardel::sim {

namespace {

// A host that takes none of our bytes for this long has stopped reading.
constexpr Milliseconds kWriteStallLimit{2000};
// Without a stop pipe, the stop flag is looked at this often.
constexpr Milliseconds kStopCheckPeriod{50};
constexpr std::chrono::hours kLongestPoll{1};
// While nobody holds the device, a host that opens it is noticed this late at
// most: the master cannot be polled for that.
constexpr Milliseconds kLookForHostAgain{5};

timespec RelativeTo(Clock::time_point wakeAt) {
    const auto wait =
        std::clamp<Clock::duration>(wakeAt - Clock::now(), Clock::duration::zero(), kLongestPoll);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec relative{};
    relative.tv_sec = static_cast<time_t>(nanos / 1'000'000'000);
    relative.tv_nsec = static_cast<long>(nanos % 1'000'000'000);
    return relative;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

StopSignal::StopSignal() {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
    }
}

StopSignal::~StopSignal() {
    if (readEnd_ >= 0) {
        close(readEnd_);
    }
    if (writeEnd_ >= 0) {
        close(writeEnd_);
    }
}

void StopSignal::Raise() {
    raised_.store(true);
    if (writeEnd_ >= 0) {
        const std::uint8_t wake = 1;
        // A full pipe is already readable, which is all a waiter needs.
        [[maybe_unused]] const auto written = write(writeEnd_, &wake, 1);
    }
}

Line::Line(int fd, const StopSignal& stop, bool lineRate, Milliseconds frameGap,
           Milliseconds adapterLatency)
    : fd_(fd),
      adapterLatency_(adapterLatency),
      stop_(stop),
      lineRate_(lineRate),
      frameGap_(frameGap) {
    Adopt(fd);
    rxFree_ = txFree_ = lastWriteAt_ = Clock::now();
}

void Line::Replace(int fd) {
    parser_ = HostFrameParser();
    closed_ = false;
    hostAbsent_ = false;
    Adopt(fd);
}

Outcome Line::AwaitHost(Clock::time_point deadline) {
    if (!isTerminal_) {
        return Outcome::Done;
    }
    hostAbsent_ = true;  // until a read says otherwise
    while (hostAbsent_ && Clock::now() < deadline) {
        const Outcome outcome = PollOnce(deadline);
        if (outcome != Outcome::Done) {
            return outcome;
        }
    }
    return hostAbsent_ ? Outcome::Timeout : Outcome::Done;
}

void Line::Adopt(int fd) {
    fd_ = fd;
    originalFlags_ = fcntl(fd_, F_GETFL);
    if (originalFlags_ >= 0) {
        fcntl(fd_, F_SETFL, originalFlags_ | O_NONBLOCK);
    }
    struct stat status {};
    isSocket_ = fstat(fd_, &status) == 0 && S_ISSOCK(status.st_mode);
    isTerminal_ = isatty(fd_) == 1;
}

Line::~Line() {
    if (originalFlags_ >= 0) {
        fcntl(fd_, F_SETFL, originalFlags_);
    }
}

Outcome Line::Write(std::span<const std::uint8_t> bytes) {
    // The adapter sends a short run of bytes on only when its timer fires.
    constexpr std::size_t kAdapterPacket = 62;
    if (adapterLatency_.count() > 0 && bytes.size() < kAdapterPacket) {
        const Outcome held = Idle(Clock::now() + adapterLatency_);
        if (held != Outcome::Done) {
            return held;
        }
    }
    if (!lineRate_) {
        const Outcome outcome = Put(bytes);
        lastWriteAt_ = Clock::now();
        return outcome;
    }
    // A byte reaches the host only once all its bits have gone down the line.
    // A UART sends a frame's bytes back to back: a wake-up that came late
    // delays that byte, not the ones after it.
    txFree_ = std::max(txFree_, Clock::now());
    for (const std::uint8_t& byte : bytes) {
        txFree_ += kByteTime;
        const Outcome waited = Idle(txFree_);
        if (waited != Outcome::Done) {
            return waited;
        }
        const Outcome put = Put({&byte, 1});
        if (put != Outcome::Done) {
            return put;
        }
    }
    lastWriteAt_ = Clock::now();
    return Outcome::Done;
}

Outcome Line::NextFrame(Clock::time_point deadline, HostFrame& frame) {
    for (;;) {
        Clock::time_point wakeAt = deadline;
        if (parser_.HasFrame()) {
            const Clock::time_point arrived = parser_.PeekFrame().lastByteAt;
            if (Clock::now() >= arrived) {
                frame = parser_.TakeFrame();
                return Outcome::Done;
            }
            wakeAt = std::min(wakeAt, arrived);
        } else if (closed_) {
            return Outcome::Closed;
        }
        if (Clock::now() >= deadline) {
            return Outcome::Timeout;
        }
        const Outcome outcome = PollOnce(WithGap(wakeAt));
        if (outcome != Outcome::Done) {
            return outcome;
        }
    }
}

Outcome Line::Idle(Clock::time_point until) {
    for (;;) {
        if (closed_) {
            return Outcome::Closed;
        }
        if (Clock::now() >= until) {
            return Outcome::Done;
        }
        const Outcome outcome = PollOnce(WithGap(until));
        if (outcome != Outcome::Done) {
            return outcome;
        }
    }
}

// One wait for bytes, the stop signal or `wakeAt`, whichever comes first.
Outcome Line::PollOnce(Clock::time_point wakeAt) {
    if (stop_.Raised()) {
        return Outcome::Stopped;
    }
    if (stop_.WaitHandle() < 0) {
        wakeAt = std::min(wakeAt, Clock::now() + kStopCheckPeriod);
    }
    const bool lookForHost = hostAbsent_;
    if (lookForHost) {
        wakeAt = std::min(wakeAt, Clock::now() + kLookForHostAgain);
    }
    // A line that went away, or that nobody holds, would report a hang-up on
    // every poll: leave it out.
    std::array<pollfd, 2> waits = {{{closed_ || lookForHost || !reading_ ? -1 : fd_, POLLIN, 0},
                                    {stop_.WaitHandle(), POLLIN, 0}}};
    const timespec relative = RelativeTo(wakeAt);
    if (ppoll(waits.data(), waits.size(), &relative, nullptr) < 0 && errno != EINTR) {
        return Outcome::Failed;
    }
    if (stop_.Raised()) {
        return Outcome::Stopped;
    }
    if (reading_ && (waits[0].revents != 0 || lookForHost)) {
        ReadAvailable();
    }
    CutShortAfterGap();
    return Outcome::Done;
}

void Line::ReadAvailable() {
    std::array<std::uint8_t, 512> buffer{};
    const auto count = read(fd_, buffer.data(), buffer.size());
    const bool gone = count == 0 || (count < 0 && !WouldBlock(errno) && errno != EINTR);
    if (gone && isTerminal_) {
        hostAbsent_ = true;  // EIO: nobody has the device open just now
        return;
    }
    if (gone) {
        closed_ = true;  // end of file
        return;
    }
    hostAbsent_ = false;
    const Clock::time_point readAt = Clock::now();
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<decltype(count)>(count, 0));
         ++i) {
        Clock::time_point arrivedAt = readAt;
        if (lineRate_) {
            rxFree_ = std::max(rxFree_, readAt) + kByteTime;
            arrivedAt = rxFree_;
        }
        parser_.Feed(buffer[i], arrivedAt);
    }
}

void Line::CutShortAfterGap() {
    if (parser_.InFrame() && Clock::now() >= parser_.LastByteAt() + frameGap_) {
        parser_.CutShort();
    }
}

Clock::time_point Line::WithGap(Clock::time_point wakeAt) const {
    return parser_.InFrame() ? std::min(wakeAt, parser_.LastByteAt() + frameGap_) : wakeAt;
}

Outcome Line::Put(std::span<const std::uint8_t> bytes) {
    const Clock::time_point stallLimit = Clock::now() + kWriteStallLimit;
    while (!bytes.empty()) {
        const long written = Send(bytes);
        if (written > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            continue;
        }
        const int error = written < 0 ? errno : 0;
        if (error == EINTR) {
            continue;
        }
        if (WouldBlock(error)) {
            const Outcome writable = WaitWritable(stallLimit);
            if (writable != Outcome::Done) {
                return writable;
            }
            continue;
        }
        if (error == EPIPE || error == EIO || error == ECONNRESET) {
            closed_ = true;
            return Outcome::Closed;
        }
        return Outcome::Failed;
    }
    return Outcome::Done;
}

Outcome Line::WaitWritable(Clock::time_point deadline) {
    for (;;) {
        if (stop_.Raised()) {
            return Outcome::Stopped;
        }
        if (Clock::now() >= deadline) {
            return Outcome::Failed;
        }
        // A terminal nobody holds polls as hung up at once: look again later.
        const bool lookForHost = hostAbsent_;
        const auto wakeAt = lookForHost ? Clock::now() + kLookForHostAgain
                                        : std::min(deadline, Clock::now() + kStopCheckPeriod);
        std::array<pollfd, 2> waits = {
            {{lookForHost ? -1 : fd_, POLLOUT, 0}, {stop_.WaitHandle(), POLLIN, 0}}};
        const timespec relative = RelativeTo(wakeAt);
        const int ready = ppoll(waits.data(), waits.size(), &relative, nullptr);
        if (ready < 0 && errno != EINTR) {
            return Outcome::Failed;
        }
        if (lookForHost) {
            hostAbsent_ = false;
            continue;
        }
        if ((waits[0].revents & POLLOUT) != 0) {
            return Outcome::Done;
        }
        if ((waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            if (!isTerminal_) {
                closed_ = true;
                return Outcome::Closed;
            }
            hostAbsent_ = true;
        }
    }
}

long Line::Send(std::span<const std::uint8_t> bytes) const {
    // On a socket, a vanished peer must give EPIPE rather than kill the process.
    if (isSocket_) {
        return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    return write(fd_, bytes.data(), bytes.size());
}

}  // namespace vardel::sim
