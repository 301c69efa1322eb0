// The MCU's end of the serial line: writes its bytes (at 38,400 baud when
// asked to), reads the host's bytes into frames, and waits for either without
// spinning. Every wait also watches a stop signal, so another thread can end
// a session at any moment.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/HostFrameParser.h"
#include "sim/Scenario.h"

namespace vardel::sim {

// Raised once from any thread; stays raised. Waits see it through a pipe.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    bool Raised() const { return raised_.load(); }
    // Readable once raised; -1 when the pipe could not be made (then waits
    // notice the signal only between polls, which are bounded anyway).
    int WaitHandle() const { return readEnd_; }

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::atomic<bool> raised_{false};
};

// 10 bits a byte (start, 8 data, stop) at 38,400 baud.
inline constexpr std::chrono::nanoseconds kByteTime{260417};

enum class Outcome {
    Done,
    Timeout,  // the deadline passed first
    Stopped,  // the stop signal was raised
    Closed,   // the other end went away for good (a socket's peer closed)
    Failed,   // the line would not take the bytes
};

class Line {
public:
    // Works on `fd` without owning it; makes it non-blocking for as long as
    // the Line lives.
    Line(int fd, const StopSignal& stop, bool lineRate, Milliseconds frameGap,
         Milliseconds adapterLatency = Milliseconds{0});
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Writes all bytes, paced at the line rate if asked to; reads whatever
    // arrives meanwhile.
    Outcome Write(std::span<const std::uint8_t> bytes);
    // When the last byte written had gone out.
    Clock::time_point LastWriteAt() const { return lastWriteAt_; }

    // The next complete frame from the host, not before its last byte has
    // arrived on the line. Frames already received are handed out even after
    // the other end went away.
    Outcome NextFrame(Clock::time_point deadline, HostFrame& frame);
    // Lets time pass, reading meanwhile.
    Outcome Idle(Clock::time_point until);

    HostFrameParser::Junk TakeJunk() { return parser_.TakeJunk(); }

    // Goes on on another descriptor (the line came back as a new terminal);
    // what was half received on the old one is dropped.
    void Replace(int fd);
    // Until the host has the line open, or the deadline.
    Outcome AwaitHost(Clock::time_point deadline);
    // From now on nothing is read: the host's bytes pile up on the line.
    void StopReading() { reading_ = false; }

private:
    Outcome PollOnce(Clock::time_point wakeAt);
    void ReadAvailable();
    void CutShortAfterGap();
    Clock::time_point WithGap(Clock::time_point wakeAt) const;
    Outcome Put(std::span<const std::uint8_t> bytes);
    Outcome WaitWritable(Clock::time_point deadline);
    long Send(std::span<const std::uint8_t> bytes) const;

    void Adopt(int fd);

    int fd_;
    int originalFlags_ = -1;
    bool reading_ = true;
    Milliseconds adapterLatency_;
    bool isSocket_ = false;
    // A pseudo-terminal's master reads EIO and polls as hung up for as long as
    // nobody has the device open: the host has not opened its port yet, or has
    // closed it. Like a real line, that ends nothing; the line is looked at
    // again now and then instead of being polled.
    bool isTerminal_ = false;
    bool hostAbsent_ = false;
    const StopSignal& stop_;
    bool lineRate_;
    Milliseconds frameGap_;
    bool closed_ = false;
    HostFrameParser parser_;
    Clock::time_point rxFree_;  // when the receiving side of the line is free again
    Clock::time_point txFree_;  // when the sending side is free again
    Clock::time_point lastWriteAt_;
};

}  // namespace vardel::sim
