// A firmware file held in memory and served to the engine's loader under
// whatever name it asks for: the front ends whose user chooses the file
// (vardel-flash, the page in the browser) hand it over this way. The served
// file needs no program folder, so it comes with a short program path of its
// own, and the program's real path plays no part.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/Platform.h"

namespace vardel {

class ServedFile {
public:
    // The bytes stay the caller's and must outlive their serving.
    void Serve(std::span<const std::uint8_t> bytes) {
        bytes_ = bytes;
        read_ = 0;
    }
    [[nodiscard]] bool Empty() const { return bytes_.empty(); }

    // kInvalidHandle while nothing is served.
    FileHandle Open() {
        read_ = 0;
        return bytes_.empty() ? kInvalidHandle : kHandle;
    }
    std::uint32_t Read(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t& error) {
        error = 0;
        if (file != kHandle) return 0;
        const std::size_t count = std::min<std::size_t>(length, bytes_.size() - read_);
        std::memcpy(buffer, bytes_.data() + read_, count);
        read_ += count;
        return static_cast<std::uint32_t>(count);
    }
    void Close() { read_ = 0; }

    // "/vardel", with the system's folder separator.
    static std::uint32_t ProgramPath(char16_t separator, char16_t* buffer, std::uint32_t capacity) {
        const char16_t path[] = {separator, u'v', u'a', u'r', u'd', u'e', u'l', 0};
        const auto length = static_cast<std::uint32_t>(std::size(path) - 1);
        if (capacity > length) std::copy(std::begin(path), std::end(path), buffer);
        return length;
    }

private:
    static constexpr FileHandle kHandle = 1;
    std::span<const std::uint8_t> bytes_;
    std::size_t read_ = 0;  // bytes handed out since the file was opened
};

}  // namespace vardel
