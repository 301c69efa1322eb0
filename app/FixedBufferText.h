// Small bounded helpers for zero-terminated UTF-16 texts in fixed buffers.
// None of them writes past the capacity it is given, and every text they
// produce is terminated (capacity permitting at least the terminator).
#pragma once

#include <cstddef>

namespace vardel {

// Copies at most count units of source into target, then fills the rest of
// those count units with zeros; a source of count units or more is copied
// without its terminator.
void CopyBounded(char16_t* target, const char16_t* source, std::size_t count);

// Writes prefix, value as a signed decimal number, then suffix; cut to what
// fits in capacity units with the terminator. Returns the length written.
std::size_t FormatDecimal(char16_t* target, std::size_t capacity, const char16_t* prefix, int value,
                          const char16_t* suffix);

}  // namespace vardel
