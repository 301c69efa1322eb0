// Cuts the host's bytes into frames. The command byte after "#U" tells how
// long the frame is; bytes that cannot begin a frame are counted and dropped.
// Unlike the host's own parser, this one resynchronises as early as it can
// ("##U" starts a frame at the second '#'), because the MCU side has to notice
// everything the host does wrong rather than mimic it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "sim/WireFrames.h"

namespace vardel::sim {

using Clock = std::chrono::steady_clock;

enum class HostFrameKind { EnterUpgrade, Data, Reset };

struct HostFrame {
    HostFrameKind kind = HostFrameKind::Data;
    Bytes bytes;
    Clock::time_point firstByteAt;  // when its first byte had arrived
    Clock::time_point lastByteAt;   // when the whole frame had arrived
};

class HostFrameParser {
public:
    // One byte off the line, with the time it had arrived in full.
    void Feed(std::uint8_t byte, Clock::time_point at);

    bool HasFrame() const { return !frames_.empty(); }
    // The oldest complete frame not taken yet; only while HasFrame().
    const HostFrame& PeekFrame() const { return frames_.front(); }
    HostFrame TakeFrame();

    // A frame has begun and is not complete yet.
    bool InFrame() const { return !partial_.empty(); }
    Clock::time_point LastByteAt() const { return lastByteAt_; }
    // Gives up the frame begun: the line went quiet in its middle.
    void CutShort();

    // What could not be used, since the last call.
    struct Junk {
        std::size_t strayBytes = 0;  // bytes that began no frame
        std::size_t cutFrames = 0;   // frames given up by CutShort()
        std::size_t cutBytes = 0;    // their bytes
        bool Any() const { return strayBytes != 0 || cutFrames != 0; }
    };
    Junk TakeJunk();

private:
    void Begin(std::uint8_t byte, Clock::time_point at);
    void Restart(std::size_t droppedBytes, std::uint8_t byte, Clock::time_point at);
    void Finish();

    Bytes partial_;
    std::size_t frameLength_ = 0;
    Clock::time_point frameStart_;
    Clock::time_point lastByteAt_;
    std::deque<HostFrame> frames_;
    Junk junk_;
};

}  // namespace vardel::sim
