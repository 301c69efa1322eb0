// The serial wire protocol with the MCU, named once. Host-to-MCU frames begin
// with "#U" and a command byte; MCU-to-host frames begin with "#U" too.
#pragma once

#include <cstdint>

namespace vardel::wire {

inline constexpr std::uint8_t kFrameStart0 = 0x23;  // '#'
inline constexpr std::uint8_t kFrameStart1 = 0x55;  // 'U'

// Host to MCU.
inline constexpr std::uint8_t kCmdEnterUpgrade = 0x02;
inline constexpr std::uint8_t kCmdData = 0x44;   // 'D'
inline constexpr std::uint8_t kCmdReset = 0x52;  // 'R'
// The upgrade-mode word the MCU expects after the enter-upgrade command.
inline constexpr std::uint8_t kUpgradeWord[] = {0x56, 0x4B, 0x54};  // "VKT"

inline constexpr std::uint32_t kHeaderLength = 3;
inline constexpr std::uint32_t kEnterUpgradeLength = 6;
inline constexpr std::uint32_t kBlockSize = 64;
inline constexpr std::uint32_t kDataFrameLength = 69;  // header, block, sum, xor
inline constexpr std::uint32_t kResetFrameLength = 69;
inline constexpr std::uint32_t kSumOffset = kHeaderLength + kBlockSize;
inline constexpr std::uint32_t kXorOffset = kSumOffset + 1;

// Block numbers are 16-bit on the wire; the highest one means completion.
inline constexpr std::uint32_t kCompletionBlock = 0xFFFF;
// The percentage of block n is n * 100 / kProgressBlocks (448 blocks = 28,672 bytes).
inline constexpr std::uint32_t kProgressBlocks = 448;

// MCU to host: a block request is 7 bytes "#U", kind, H, L, ~H, ~L; a status
// reply is the 5-byte text below. Both are told apart at the fifth byte.
inline constexpr std::uint32_t kStatusReplyLength = 5;
inline constexpr char kStatusChipEncrypted[] = "#UKNG";
inline constexpr char kStatusEraseFailed[] = "#UENG";
inline constexpr char kStatusEraseOk[] = "#UKOK";

// How long one poll window may wait for the rest of a frame that has begun.
inline constexpr std::uint32_t kPollWindowMs = 300;

}  // namespace vardel::wire
