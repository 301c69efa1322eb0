// Output of the Windows helper programs: UTF-8 lines on standard output,
// written at once, so that a script that waits for a line sees it.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <string>

namespace vardel::win32 {

inline std::string Utf8(const wchar_t* text, int length = -1) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    if (length < 0) out.pop_back();  // the terminator
    return out;
}

// One line, with a line feed added unless the text ends its own line.
inline void Say(const std::string& line, DWORD stream = STD_OUTPUT_HANDLE, bool addLineEnd = true) {
    const std::string text = addLineEnd ? line + "\n" : line;
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
}

}  // namespace vardel::win32
