// The MCU's own view of the bytes on the serial line: what the host may send
// it (enter-upgrade, data and reset frames) and what it sends back (status
// replies and block requests). Kept apart from the host's code on purpose, so
// that the two sides are written independently and can check each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vardel::sim {

using Bytes = std::vector<std::uint8_t>;

// Every frame, in either direction, begins with "#U".
inline constexpr std::uint8_t kFrameMark = 0x23;  // '#'
inline constexpr std::uint8_t kFrameTag = 0x55;   // 'U'

// --- host to MCU: the third byte names the frame and so its length ---
inline constexpr std::uint8_t kEnterUpgradeCommand = 0x02;
inline constexpr std::uint8_t kDataCommand = 0x44;   // 'D'
inline constexpr std::uint8_t kResetCommand = 0x52;  // 'R'
inline constexpr std::size_t kEnterUpgradeLength = 6;
inline constexpr std::size_t kDataFrameLength = 69;
inline constexpr std::size_t kResetFrameLength = 69;
// The word the MCU wants after the enter-upgrade command: "VKT".
inline constexpr std::array<std::uint8_t, 3> kUpgradeWord = {0x56, 0x4B, 0x54};

inline constexpr std::size_t kHeaderLength = 3;  // "#U" and the command
inline constexpr std::size_t kBlockSize = 64;
inline constexpr std::size_t kSumOffset = kHeaderLength + kBlockSize;
inline constexpr std::size_t kXorOffset = kSumOffset + 1;
// The host loads at most this much of the firmware file.
inline constexpr std::size_t kMaxImageSize = 65536;

// --- MCU to host ---
inline constexpr std::size_t kRequestLength = 7;
inline constexpr std::size_t kStatusLength = 5;
// The host does not look at the kind byte of a request. It must not be 'K' or
// 'E', though: "#UK.." and "#UE.." could read as a status reply.
inline constexpr std::uint8_t kRequestKind = 0x44;  // 'D'
inline constexpr std::uint16_t kCompletionBlock = 0xFFFF;
// Highest number that still names a block rather than the completion.
inline constexpr std::uint16_t kHighestBlockNumber = 0xFFFE;

enum class StatusReply { EraseOk, EraseFailed, ChipEncrypted };

// The three letters after "#U": "KOK", "ENG", "KNG".
std::string_view StatusName(StatusReply reply);
std::optional<StatusReply> StatusFromName(std::string_view name);

Bytes StatusReplyFrame(StatusReply reply);
Bytes BlockRequest(std::uint16_t block);
Bytes CompletionRequest();
// A request for `block` whose high (or low) complement byte is spoilt by
// xor-ing it with `spoiler` (never 0, so the request is always wrong).
Bytes BadComplementRequest(std::uint16_t block, bool spoilHigh, std::uint8_t spoiler);

struct BlockChecks {
    std::uint8_t sum = 0;
    std::uint8_t xorValue = 0;
};
// The 8-bit sum and the xor of a block's data bytes, as a data frame carries them.
BlockChecks ChecksOf(std::span<const std::uint8_t> data);

// Length of the host frame whose command byte this is; nullopt when no host
// frame has this command.
std::optional<std::size_t> HostFrameLength(std::uint8_t command);

// Pieces of a complete host frame (as the parser hands it out).
bool HasUpgradeWord(std::span<const std::uint8_t> enterUpgrade);
bool HasZeroPadding(std::span<const std::uint8_t> reset);
std::span<const std::uint8_t> DataOf(std::span<const std::uint8_t> dataFrame);

}  // namespace vardel::sim
