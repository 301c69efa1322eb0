// The hand-off between the engine's callbacks and the dialog's tick, and the
// bounded text helpers behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

#include "app/StatusMailbox.h"
#include "app/WideText.h"

namespace vardel {
namespace {

class MailboxTest : public ::testing::Test {
protected:
    MailboxTest() { statusMailbox = {}; }
};

TEST_F(MailboxTest, AMessageIsStoredBeforeItsFlagIsRaised) {
    EXPECT_EQ(OnEngineMessage(u"串口打开成功!", 0), 1);
    EXPECT_EQ(statusMailbox.messageChanged, 1);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"串口打开成功!");
    EXPECT_EQ(statusMailbox.percentChanged, 0);
}

TEST_F(MailboxTest, ATextOf259UnitsIsStoredWhole) {
    const std::u16string text(259, u'升');
    OnEngineMessage(text.c_str(), 0);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), text);
}

TEST_F(MailboxTest, ATextOf300UnitsIsStoredAsItsFirst259) {
    std::u16string text(300, u'a');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(u'a' + i % 26);
    }
    OnEngineMessage(text.c_str(), 0);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), text.substr(0, 259));
    EXPECT_EQ(statusMailbox.messageText[259], u'\0');
}

TEST_F(MailboxTest, AShorterTextClearsWhatALongerOneLeftBehind) {
    const std::u16string longText(259, u'x');
    OnEngineMessage(longText.c_str(), 0);
    OnEngineMessage(u"ok", 0);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"ok");
    for (std::size_t i = 2; i < kMailboxTextSize; ++i) {
        ASSERT_EQ(statusMailbox.messageText[i], u'\0') << "at " << i;
    }
}

TEST_F(MailboxTest, TheLaterOfTwoTextsWins) {
    OnEngineMessage(u"擦除成功", 0);
    OnEngineMessage(u"通信建立，开始传输数据!", 7);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"通信建立，开始传输数据!");
}

TEST_F(MailboxTest, APercentageIsKeptAsItComesWithoutClamping) {
    EXPECT_EQ(OnEngineProgress(228), 1);
    EXPECT_EQ(statusMailbox.percent, 228);
    EXPECT_EQ(statusMailbox.percentChanged, 1);
    OnEngineProgress(-5);
    EXPECT_EQ(statusMailbox.percent, -5);
    EXPECT_EQ(statusMailbox.messageChanged, 0);
}

TEST(FormatDecimal, WritesPrefixNumberAndSuffix) {
    char16_t text[260];
    EXPECT_EQ(FormatDecimal(text, 260, u"", 45, u"%"), 3u);
    EXPECT_EQ(std::u16string(text), u"45%");
    FormatDecimal(text, 260, u"Step = ", 255, u"");
    EXPECT_EQ(std::u16string(text), u"Step = 255");
    FormatDecimal(text, 260, u"", 0, u"%");
    EXPECT_EQ(std::u16string(text), u"0%");
}

TEST(FormatDecimal, HandlesEveryInt) {
    char16_t text[32];
    FormatDecimal(text, 32, u"", INT_MIN, u"%");
    EXPECT_EQ(std::u16string(text), u"-2147483648%");
    FormatDecimal(text, 32, u"", INT_MAX, u"");
    EXPECT_EQ(std::u16string(text), u"2147483647");
    FormatDecimal(text, 32, u"", -1, u"");
    EXPECT_EQ(std::u16string(text), u"-1");
}

TEST(FormatDecimal, NeverWritesPastItsCapacity) {
    char16_t text[8];
    std::fill(std::begin(text), std::end(text), u'#');
    EXPECT_EQ(FormatDecimal(text, 5, u"Step = ", 123, u""), 4u);
    EXPECT_EQ(std::u16string(text), u"Step");
    EXPECT_EQ(text[5], u'#');
    std::fill(std::begin(text), std::end(text), u'#');
    FormatDecimal(text, 1, u"", 9, u"");
    EXPECT_EQ(text[0], u'\0');
    EXPECT_EQ(text[1], u'#');
}

TEST(CopyBounded, CopiesAtMostCountUnitsAndPadsWithZeros) {
    char16_t text[6];
    std::fill(std::begin(text), std::end(text), u'#');
    CopyBounded(text, u"abcdefgh", 5);
    EXPECT_EQ(std::u16string(text, 5), u"abcde");
    EXPECT_EQ(text[5], u'#');
    CopyBounded(text, u"ab", 5);
    EXPECT_EQ(std::u16string(text, 5), std::u16string(u"ab\0\0\0", 5));
}

}  // namespace
}  // namespace vardel
