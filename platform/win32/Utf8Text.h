// UTF-8, the command line's and the console's text, and the UTF-16 that
// Windows' wide calls take; and the helper programs' lines on standard output.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace vardel::win32 {

inline std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(units, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), units);
    return wide;
}

inline std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

// One UTF-8 line, written at once so that a script that waits for it sees it;
// a line feed is added unless the text ends its own line.
inline void Say(const std::string& line, DWORD stream = STD_OUTPUT_HANDLE, bool addLineEnd = true) {
    const std::string text = addLineEnd ? line + "\n" : line;
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
}

}  // namespace vardel::win32
