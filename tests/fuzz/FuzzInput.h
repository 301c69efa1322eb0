// Reads a fuzzer's bytes as a stream of small decisions; once the bytes run
// out every read gives 0, so a target never reads past its input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vardel::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    [[nodiscard]] bool Empty() const { return pos_ >= size_; }

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::uint32_t Below(std::uint32_t bound) { return bound == 0 ? 0 : Byte() % bound; }

    std::uint32_t Word() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | Byte();
        }
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace vardel::fuzz
