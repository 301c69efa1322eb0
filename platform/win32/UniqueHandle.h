// A kernel object handle, closed when this goes.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <utility>

namespace vardel::win32 {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    [[nodiscard]] HANDLE Get() const { return handle_; }
    // CreateFileW fails with INVALID_HANDLE_VALUE, most others with null.
    [[nodiscard]] bool Valid() const {
        return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
    }
    void Reset() {
        if (Valid()) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace vardel::win32
