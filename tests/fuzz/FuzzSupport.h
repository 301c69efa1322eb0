// What both fuzz targets share: the fuzzer's bytes read as a stream of small
// decisions, a check that stops the run, and the block requests hidden in a
// stream of MCU bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace vardel::test {

// The fuzzer's bytes as a stream of small decisions. Once the bytes run out
// every read gives 0, so a target never reads past its input.
struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    [[nodiscard]] bool Empty() const { return pos >= size; }
    std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    std::uint32_t Below(std::uint32_t bound) { return bound == 0 ? 0 : Byte() % bound; }
    std::uint32_t Word() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
};

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// Every block asked for with matching complements anywhere in the MCU's bytes
// (a superset of what the parser may accept, frame borders aside).
inline std::set<std::int32_t> RequestsIn(const std::vector<std::uint8_t>& s) {
    std::set<std::int32_t> blocks;
    for (std::size_t i = 0; i + 7 <= s.size(); ++i) {
        if (s[i] == 0x23 && s[i + 1] == 0x55 && (s[i + 3] ^ s[i + 5]) == 0xFF &&
            (s[i + 4] ^ s[i + 6]) == 0xFF) {
            blocks.insert(s[i + 3] * 256 + s[i + 4]);
        }
    }
    return blocks;
}

}  // namespace vardel::test
