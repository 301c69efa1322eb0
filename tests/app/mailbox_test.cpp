// The hand-off between the engine's callbacks and the dialog's tick: a text
// of at most 259 units and a percentage, each with the flag that says it is new.
#include <gtest/gtest.h>

#include <string>

#include "app/StatusMailbox.h"

namespace vardel {
namespace {

TEST(Mailbox, ATextIsStoredWithItsFlagUpTo259Units) {
    statusMailbox = {};
    std::u16string text(300, u'a');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(u'升' + i);
    for (const std::size_t length : {259u, 300u}) {
        EXPECT_EQ(OnEngineMessage(text.substr(0, length).c_str(), 0), 1);
        EXPECT_EQ(std::u16string(statusMailbox.messageText), text.substr(0, 259)) << length;
        EXPECT_EQ(statusMailbox.messageChanged, 1);
        EXPECT_EQ(statusMailbox.percentChanged, 0);
    }
}

TEST(Mailbox, APercentageIsKeptAsItComesWithItsOwnFlag) {
    statusMailbox = {};
    EXPECT_EQ(OnEngineProgress(228), 1);
    EXPECT_EQ(statusMailbox.percent, 228);
    EXPECT_EQ(statusMailbox.percentChanged, 1);
    EXPECT_EQ(statusMailbox.messageChanged, 0);
}

}  // namespace
}  // namespace vardel
