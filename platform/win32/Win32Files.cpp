// The program's own path, the firmware file and the debug output.
#include <algorithm>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

namespace vardel::win32 {

namespace {

// The longest path Windows knows, in UTF-16 units with the terminator.
constexpr DWORD kLongestPath = 32768;

// GetModuleFileNameW fills the whole buffer when the path does not fit, and
// says so only by that; a bigger buffer then tells the path's real length.
std::uint32_t FullPathLength(DWORD from) {
    for (DWORD size = from * 2; size <= kLongestPath; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return 0;
        if (length < size) return length;
    }
    return kLongestPath;
}

}  // namespace

// The path goes to the caller only whole: one that does not fit leaves the
// buffer as it was, and its length says so.
std::uint32_t Win32Platform::ProgramFilePath(char16_t* buffer, std::uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    std::vector<wchar_t> path(capacity);
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), capacity);
    if (length == 0) {
        return 0;
    }
    if (length >= capacity) {
        return FullPathLength(capacity);
    }
    std::copy_n(path.data(), length + 1, Wide(buffer));
    return length;
}

// Share mode 0: a file another program holds open is not opened, and nobody
// else opens it while it is read here.
FileHandle Win32Platform::OpenFileForReading(const char16_t* path) {
    refusal_ = {};
    if (path == nullptr) {
        refusal_.error = ERROR_INVALID_PARAMETER;
        return kInvalidHandle;
    }
    HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        refusal_.error = ::GetLastError();
    }
    return reinterpret_cast<FileHandle>(file);  // INVALID_HANDLE_VALUE is kInvalidHandle
}

// One request: a disk file delivers everything up to length in it. The error
// code is taken only from a read that failed.
std::uint32_t Win32Platform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                      std::uint32_t& error) {
    DWORD got = 0;
    const BOOL read = ::ReadFile(AsHandle(file), buffer, length, &got, nullptr);
    error = read != FALSE ? 0 : ::GetLastError();
    return got;
}

void Win32Platform::CloseFile(FileHandle file) { static_cast<void>(::CloseHandle(AsHandle(file))); }

void Win32Platform::DebugPrint(const char16_t* line) {
    if (line != nullptr) {
        ::OutputDebugStringW(Wide(line));
    }
}

}  // namespace vardel::win32
