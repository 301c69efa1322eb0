#include "sim/WireFrames.h"

#include <algorithm>

namespace vardel::sim {

namespace {

struct StatusSpelling {
    StatusReply reply;
    std::string_view letters;
};

constexpr std::array<StatusSpelling, 3> kStatusSpellings = {{
    {StatusReply::EraseOk, "KOK"},
    {StatusReply::EraseFailed, "ENG"},
    {StatusReply::ChipEncrypted, "KNG"},
}};

std::uint8_t Complement(std::uint8_t byte) { return static_cast<std::uint8_t>(0xFF - byte); }

std::uint8_t HighByte(std::uint16_t block) { return static_cast<std::uint8_t>(block >> 8); }
std::uint8_t LowByte(std::uint16_t block) { return static_cast<std::uint8_t>(block & 0xFF); }

}  // namespace

std::string_view StatusName(StatusReply reply) {
    for (const auto& spelling : kStatusSpellings) {
        if (spelling.reply == reply) {
            return spelling.letters;
        }
    }
    return {};
}

std::optional<StatusReply> StatusFromName(std::string_view name) {
    for (const auto& spelling : kStatusSpellings) {
        if (spelling.letters == name) {
            return spelling.reply;
        }
    }
    return std::nullopt;
}

Bytes StatusReplyFrame(StatusReply reply) {
    Bytes frame = {kFrameMark, kFrameTag};
    for (const char letter : StatusName(reply)) {
        frame.push_back(static_cast<std::uint8_t>(letter));
    }
    return frame;
}

Bytes BlockRequest(std::uint16_t block) {
    const std::uint8_t high = HighByte(block);
    const std::uint8_t low = LowByte(block);
    return {kFrameMark, kFrameTag, kRequestKind, high, low, Complement(high), Complement(low)};
}

Bytes CompletionRequest() { return BlockRequest(kCompletionBlock); }

Bytes BadComplementRequest(std::uint16_t block, bool spoilHigh, std::uint8_t spoiler) {
    Bytes request = BlockRequest(block);
    const std::uint8_t nonZero = spoiler == 0 ? 1 : spoiler;
    request[spoilHigh ? 5 : 6] ^= nonZero;
    return request;
}

BlockChecks ChecksOf(std::span<const std::uint8_t> data) {
    BlockChecks checks;
    for (const std::uint8_t byte : data) {
        checks.sum = static_cast<std::uint8_t>(checks.sum + byte);
        checks.xorValue ^= byte;
    }
    return checks;
}

std::optional<std::size_t> HostFrameLength(std::uint8_t command) {
    switch (command) {
    case kEnterUpgradeCommand:
        return kEnterUpgradeLength;
    case kDataCommand:
        return kDataFrameLength;
    case kResetCommand:
        return kResetFrameLength;
    default:
        return std::nullopt;
    }
}

bool HasUpgradeWord(std::span<const std::uint8_t> enterUpgrade) {
    return enterUpgrade.size() == kEnterUpgradeLength &&
           std::equal(kUpgradeWord.begin(), kUpgradeWord.end(),
                      enterUpgrade.begin() + kHeaderLength);
}

bool HasZeroPadding(std::span<const std::uint8_t> reset) {
    return reset.size() == kResetFrameLength &&
           std::all_of(reset.begin() + kHeaderLength, reset.end(),
                       [](std::uint8_t byte) { return byte == 0; });
}

std::span<const std::uint8_t> DataOf(std::span<const std::uint8_t> dataFrame) {
    return dataFrame.subspan(kHeaderLength, kBlockSize);
}

}  // namespace vardel::sim
