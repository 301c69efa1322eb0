// The program's texts are char16_t; Windows spells the same UTF-16 units as
// wchar_t. These views let one be passed where the other is wanted.
#pragma once

#include <cwchar>

namespace vardel::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);  // NOLINT: same size and representation
}

inline wchar_t* Wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);  // NOLINT: same size and representation
}

}  // namespace vardel::win32
