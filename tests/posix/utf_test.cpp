// Text crossing between the program's UTF-16 and the system's UTF-8.
#include <gtest/gtest.h>

#include "platform/posix/Utf.h"

namespace vardel {
namespace {

using utf::Utf16ToUtf8;
using utf::Utf8ToUtf16;

TEST(Utf, ChineseTextConvertsBothWays) {
    const std::u16string wide = u"串口打开成功!";
    const std::string narrow =
        "\xE4\xB8\xB2\xE5\x8F\xA3\xE6\x89\x93\xE5\xBC\x80\xE6\x88\x90\xE5\x8A\x9F!";

    EXPECT_EQ(Utf16ToUtf8(wide), narrow);
    EXPECT_EQ(Utf8ToUtf16(narrow), wide);
}

TEST(Utf, CharactersBeyondTheBasicPlaneUseSurrogatePairs) {
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\xD83D\xDE00"));
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), std::u16string(u"\xDBFF\xDFFF")) << "U+10FFFF";
    EXPECT_EQ(Utf16ToUtf8(u"\U00020000a"),
              "\xF0\xA0\x80\x80"
              "a");
}

TEST(Utf, EveryEncodingLengthRoundTrips) {
    const std::u16string wide = u"a\u00E9\u07FF\u0800\uFFFD\uFFFF\U00010000\U0010FFFF";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(wide)), wide);
    EXPECT_EQ(Utf16ToUtf8(wide).size(), 1u + 2 + 2 + 3 + 3 + 3 + 4 + 4);
}

// A Linux path is bytes; one that is not UTF-8 must still open after the trip.
TEST(Utf, BytesThatAreNotUtf8SurviveTheRoundTrip) {
    const std::string cases[] = {
        "\xFF\xFE",                         // never valid
        "ab\xE4\xB8",                       // cut short at the end
        "\xE4\xB8x",                        // cut short by an ASCII byte
        "\xC0\xAF",                         // overlong '/'
        "\xED\xA0\x80",                     // an encoded surrogate
        "\xF4\x90\x80\x80",                 // beyond U+10FFFF
        "\x80",                             // a lone continuation byte
        "/opt/\xB9\xCC\xBC\xFE/KD51A.BIN",  // a GBK folder name
    };
    for (const std::string& bytes : cases) {
        const std::u16string wide = Utf8ToUtf16(bytes);
        for (char16_t unit : wide) {
            EXPECT_FALSE(unit >= 0xD800 && unit < 0xDC00) << "no high surrogate is made up";
        }
        EXPECT_EQ(Utf16ToUtf8(wide), bytes);
    }
}

TEST(Utf, EachBadByteStandsAloneAndValidTextAroundItIsKept) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF\xE4\xB8\xB2"), std::u16string(u"a\xDCFF\u4E32"));
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xE4\xB8\xB2"), std::u16string(u"\xDCE4\xDCB8\u4E32"));
}

TEST(Utf, LoneSurrogatesThatAreNoEscapedByteBecomeTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(Utf16ToUtf8(u"\xD800"), replacement);
    EXPECT_EQ(Utf16ToUtf8(u"\xD83Dx"), replacement + "x");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), replacement);
    EXPECT_EQ(Utf16ToUtf8(u"\xDE00\xD83D"), replacement + replacement) << "pair in the wrong order";
}

TEST(Utf, EmptyTextStaysEmpty) {
    EXPECT_TRUE(Utf8ToUtf16("").empty());
    EXPECT_TRUE(Utf16ToUtf8(u"").empty());
}

}  // namespace
}  // namespace vardel
