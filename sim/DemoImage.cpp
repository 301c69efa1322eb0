#include "sim/DemoImage.h"

#include <cstdint>

namespace vardel::sim {

namespace {

constexpr std::uint32_t kSeed = 0x5EED1234;

}  // namespace

Bytes DemoImage(std::size_t size) {
    Bytes image;
    image.reserve(size);
    std::uint32_t state = kSeed;
    while (image.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image.push_back(static_cast<std::uint8_t>(state & 0xFF));
    }
    return image;
}

}  // namespace vardel::sim
