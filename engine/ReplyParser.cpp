// The MCU-to-host half of the wire: a parser that takes one byte per call and
// keeps its place between calls, and the poll window that lets it run.
#include <cstring>

#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"

namespace vardel {

namespace {

// Positions in a reply frame.
constexpr std::uint32_t kPosStart0 = 0;
constexpr std::uint32_t kPosStart1 = 1;
constexpr std::uint32_t kPosKind = 2;
constexpr std::uint32_t kPosHigh = 3;
constexpr std::uint32_t kPosLow = 4;
constexpr std::uint32_t kPosHighComplement = 5;
constexpr std::uint32_t kPosLowComplement = 6;
// Bytes are stored only below this position; frames never get that far.
constexpr std::uint32_t kStoreLimit = 10;

struct StatusReply {
    const char* wire;
    const char16_t* text;
};

// Looked at in this order at the fifth byte of a frame.
constexpr StatusReply kStatusReplies[] = {
    {wire::kStatusChipEncrypted, texts::kChipEncrypted},
    {wire::kStatusEraseFailed, texts::kEraseFailed},
    {wire::kStatusEraseOk, texts::kEraseOk},
};

// The five stored bytes compared as a zero-terminated text: a zero byte among
// them ends the text early, so such a frame never matches a status reply.
bool SpellsStatusReply(const std::uint8_t* stored, const char* reply) {
    return std::memcmp(stored, reply, wire::kStatusReplyLength + 1) == 0;
}

bool IsComplement(std::uint8_t value, std::uint8_t complement) {
    return static_cast<std::uint8_t>(~value) == complement;
}

}  // namespace

int UpgradeEngine::ReadReplyByte() {
    std::uint8_t byte = 0;
    if (!platform_.ReadSerialByte(port, byte)) {
        return 0;
    }
    if (rxCount < kStoreLimit) {
        rxBytes[rxCount] = byte;
        rxBytes[rxCount + 1] = 0;
    }

    switch (rxCount) {
    case kPosStart0:
        rxCount = (byte == wire::kFrameStart0) ? kPosStart1 : kPosStart0;
        break;
    case kPosStart1:
        // Anything but 'U' breaks the frame, '#' included: it does not start a new one.
        rxCount = (byte == wire::kFrameStart1) ? kPosKind : kPosStart0;
        break;
    case kPosKind:
    case kPosHigh:
    case kPosHighComplement:
        ++rxCount;
        break;
    case kPosLow:
        rxCount = kPosHighComplement;
        for (const StatusReply& reply : kStatusReplies) {
            if (SpellsStatusReply(rxBytes, reply.wire)) {
                rxCount = kPosStart0;
                ReportMessage(reply.text);
                break;
            }
        }
        break;
    case kPosLowComplement:
        rxCount = kPosStart0;
        CompleteBlockRequest();
        break;
    default:
        // Never reached: the position stays within 0..6.
        rxCount = kPosStart0;
        break;
    }
    return 1;
}

void UpgradeEngine::CompleteBlockRequest() {
    const std::uint8_t high = rxBytes[kPosHigh];
    const std::uint8_t low = rxBytes[kPosLow];
    if (!IsComplement(high, rxBytes[kPosHighComplement]) ||
        !IsComplement(low, rxBytes[kPosLowComplement])) {
        return;
    }
    const std::uint32_t block = (static_cast<std::uint32_t>(high) << 8) | low;
    if (block == wire::kCompletionBlock) {
        requestedBlock = ALL_BLOCKS_DONE;
        if (onProgress != nullptr) {
            onProgress(100);
        }
        ReportMessage(texts::kUpgradeSucceeded);
        signal = SIGNAL_COMPLETE;
        return;
    }
    requestedBlock = static_cast<std::int32_t>(block);
}

// Reads until one frame is complete, a stray byte was dropped, or nothing is
// waiting while no frame has begun. A frame that has begun keeps the window
// open until its bytes come or kPollWindowMs have passed; while it waits for
// them the window sleeps until the port is readable instead of spinning on
// reads, which parses the same bytes and ends at the same moments. Unsigned
// arithmetic keeps the window's length right across the wrap of the
// millisecond counter.
int UpgradeEngine::PollReplies() {
    const std::uint32_t start = platform_.TickCount();
    for (;;) {
        const std::uint32_t elapsed = platform_.TickCount() - start;
        if (elapsed >= wire::kPollWindowMs) {
            break;
        }
        const bool gotByte = ReadReplyByte() == 1;
        if (rxCount == 0) {
            break;
        }
        if (!gotByte) {
            platform_.WaitSerialReadable(port, wire::kPollWindowMs - elapsed);
        }
    }
    return 1;
}

}  // namespace vardel
