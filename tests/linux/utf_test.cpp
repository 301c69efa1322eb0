// Text crossing between the program's UTF-16 and the system's UTF-8.
#include <gtest/gtest.h>

#include "platform/linux/Utf.h"

namespace vardel::test {
namespace {

using linuxos::Utf16ToUtf8;
using linuxos::Utf8ToUtf16;

TEST(Utf, TextOfEveryEncodingLengthConvertsBothWays) {
    const std::u16string wide = u"串口打开成功!a\u00E9\u07FF\u0800\uFFFF\U00010000\U0010FFFF";
    const std::string narrow =
        "\xE4\xB8\xB2\xE5\x8F\xA3\xE6\x89\x93\xE5\xBC\x80\xE6\x88\x90\xE5\x8A\x9F!"
        "a\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(Utf16ToUtf8(wide), narrow);
    EXPECT_EQ(Utf8ToUtf16(narrow), wide);
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

TEST(Utf, LoneSurrogatesThatAreNoEscapedByteBecomeTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(Utf16ToUtf8(u"\xD83Dx"), replacement + "x");
    EXPECT_EQ(Utf16ToUtf8(u"\xDE00\xD83D"), replacement + replacement) << "pair in the wrong order";
}

}  // namespace
}  // namespace vardel::test
