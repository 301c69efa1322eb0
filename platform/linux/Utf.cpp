#include "platform/linux/Utf.h"

#include <cstdint>

namespace vardel::linuxos {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kLowSurrogateLast = 0xDFFF;
constexpr char16_t kEscapeBase = 0xDC00;  // escaped byte b is U+DC00 + b
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;
constexpr char32_t kFirstSupplementary = 0x10000;

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }
bool IsSurrogate(char32_t c) { return c >= kHighSurrogateFirst && c <= kLowSurrogateLast; }
bool IsHighSurrogate(char16_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
bool IsLowSurrogate(char16_t u) { return u >= kLowSurrogateFirst && u <= kLowSurrogateLast; }

// Decodes the sequence at text[at]; returns its length in bytes, or 0 when it
// is not a valid, shortest-form encoding of a scalar value.
std::size_t DecodeSequence(std::string_view text, std::size_t at, char32_t& out) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, smallest = kFirstSupplementary;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<std::uint8_t>(text[at + i]);
        if (!IsContinuation(b)) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < smallest || value > kMaxCodePoint || IsSurrogate(value)) {
        return 0;
    }
    out = value;
    return length;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < kFirstSupplementary) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= kFirstSupplementary;
    out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (c >> 10)));
    out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (c & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t c) {
    auto put = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < kFirstSupplementary) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[at]);
        char32_t c = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++at;
        } else if (const std::size_t length = DecodeSequence(text, at, c); length != 0) {
            AppendUtf16(out, c);
            at += length;
        } else {
            out.push_back(static_cast<char16_t>(kEscapeBase + lead));
            ++at;
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char16_t u = text[at];
        if (IsHighSurrogate(u) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
            const char16_t low = text[++at];
            AppendUtf8(out, kFirstSupplementary + ((u - kHighSurrogateFirst) << 10) +
                                (low - kLowSurrogateFirst));
        } else if (u >= kEscapeFirst && u <= kEscapeLast) {
            out.push_back(static_cast<char>(u - kEscapeBase));
        } else if (IsSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

}  // namespace vardel::linuxos
