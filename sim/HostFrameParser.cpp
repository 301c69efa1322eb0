#include "sim/HostFrameParser.h"

#include <utility>

namespace vardel::sim {

namespace {

HostFrameKind KindOf(std::uint8_t command) {
    switch (command) {
    case kEnterUpgradeCommand:
        return HostFrameKind::EnterUpgrade;
    case kResetCommand:
        return HostFrameKind::Reset;
    default:
        return HostFrameKind::Data;
    }
}

}  // namespace

void HostFrameParser::Feed(std::uint8_t byte, Clock::time_point at) {
    lastByteAt_ = at;
    switch (partial_.size()) {
    case 0:
        Begin(byte, at);
        return;
    case 1:
        if (byte != kFrameTag) {
            Restart(1, byte, at);
            return;
        }
        break;
    case 2: {
        const auto length = HostFrameLength(byte);
        if (!length) {
            Restart(2, byte, at);
            return;
        }
        frameLength_ = *length;
        break;
    }
    default:
        break;
    }
    partial_.push_back(byte);
    if (partial_.size() == frameLength_) {
        Finish();
    }
}

void HostFrameParser::Begin(std::uint8_t byte, Clock::time_point at) {
    if (byte != kFrameMark) {
        ++junk_.strayBytes;
        return;
    }
    partial_.push_back(byte);
    frameStart_ = at;
}

// The bytes gathered so far cannot begin a frame; the new byte may.
void HostFrameParser::Restart(std::size_t droppedBytes, std::uint8_t byte, Clock::time_point at) {
    junk_.strayBytes += droppedBytes;
    partial_.clear();
    Begin(byte, at);
}

void HostFrameParser::Finish() {
    HostFrame frame;
    frame.kind = KindOf(partial_[2]);
    frame.bytes = std::exchange(partial_, {});
    frame.firstByteAt = frameStart_;
    frame.lastByteAt = lastByteAt_;
    frames_.push_back(std::move(frame));
    frameLength_ = 0;
}

HostFrame HostFrameParser::TakeFrame() {
    HostFrame frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
}

void HostFrameParser::CutShort() {
    if (partial_.empty()) {
        return;
    }
    junk_.cutBytes += partial_.size();
    ++junk_.cutFrames;
    partial_.clear();
    frameLength_ = 0;
}

HostFrameParser::Junk HostFrameParser::TakeJunk() { return std::exchange(junk_, {}); }

}  // namespace vardel::sim
