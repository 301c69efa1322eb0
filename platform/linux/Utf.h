// UTF-8 <-> UTF-16 for texts that cross into the system: paths, debug lines,
// program names.
//
// Linux paths are bytes and need not be valid UTF-8. So that such a path still
// survives the trip to UTF-16 and back (the program's own path is converted,
// extended with a file name and opened again), a byte that does not belong to
// a valid UTF-8 sequence becomes the lone low surrogate U+DC80..U+DCFF and
// turns back into that same byte. Any other lone surrogate becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace vardel::linuxos {

[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view text);
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace vardel::linuxos
