// The bytes on the line, built by hand for the tests: the MCU's requests and
// the frames the host must write that carry no image data.
#pragma once

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

}  // namespace vardel::test
