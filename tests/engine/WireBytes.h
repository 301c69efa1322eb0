// The bytes on the line, built by hand for the tests: the MCU's requests, the
// frames the host must write, and the images they carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vardel::test {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kEnterUpgradeFrame = {0x23, 0x55, 0x02, 0x56, 0x4B, 0x54};

// The MCU's request for a block; block 65,535 is the completion.
inline Bytes BlockRequest(std::uint16_t block, std::uint8_t kind = 0x51) {
    const auto h = static_cast<std::uint8_t>(block >> 8);
    const auto l = static_cast<std::uint8_t>(block & 0xFF);
    return {0x23, 0x55, kind, h, l, static_cast<std::uint8_t>(~h), static_cast<std::uint8_t>(~l)};
}
inline Bytes Completion() { return BlockRequest(0xFFFF); }

// "#UR" and 66 zero bytes.
inline Bytes ResetFrame() {
    Bytes frame(69, 0);
    frame[0] = 0x23;
    frame[1] = 0x55;
    frame[2] = 0x52;
    return frame;
}

// Bytes that differ from block to block and within each block.
inline Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

// "#UD", the 64 bytes of the block, then their 8-bit sum and xor.
inline Bytes DataFrame(const Bytes& image, std::uint32_t block) {
    Bytes frame = {0x23, 0x55, 0x44};
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    for (std::uint32_t i = 0; i < 64; ++i) {
        const std::uint8_t b = image.at(block * 64 + i);
        frame.push_back(b);
        sum = static_cast<std::uint8_t>(sum + b);
        x = static_cast<std::uint8_t>(x ^ b);
    }
    frame.push_back(sum);
    frame.push_back(x);
    return frame;
}

}  // namespace vardel::test
