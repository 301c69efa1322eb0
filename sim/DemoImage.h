// The demo's firmware image: pseudo-random bytes of our own (a 32-bit
// xorshift generator from a fixed seed), the same every time, so that every
// demo, benchmark and Windows test flashes the same file.
#pragma once

#include <cstddef>

#include "sim/WireFrames.h"

namespace vardel::sim {

// 448 blocks: what `vardel-mcu-sim --write-demo-image` writes.
inline constexpr std::size_t kDemoImageSize = 28'672;

// The first `size` bytes of the sequence; a shorter image is the start of a
// longer one.
Bytes DemoImage(std::size_t size = kDemoImageSize);

}  // namespace vardel::sim
