// The start button, the exit command 1001, and the dialog manager's OK and
// cancel commands.
#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

constexpr ProgramHandle kQ9 = 22;
constexpr ProgramHandle kMtk = 11;

class CommandTest : public DialogTest {
protected:
    CommandTest() { fake.programs = {{u"MtkGps", kMtk}, {u"Q9Gps", kQ9}}; }

    // Presses the button and tells whether just the Q9 program was asked.
    bool PressAsksQ9() {
        fake.quitRequests.clear();
        Press();
        return fake.quitRequests == std::vector<ProgramHandle>{kQ9};
    }
};

TEST_F(CommandTest, TheStartButtonAsksQ9GpsToQuitAtEveryStep) {
    PutImage(16);
    Open();
    EXPECT_TRUE(PressAsksQ9()) << "closed";
    Tick();
    ASSERT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_TRUE(PressAsksQ9()) << "ready";
    Tick();
    ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_TRUE(PressAsksQ9()) << "handshake";
    Mcu(BlockRequest(0));
    Tick();
    ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_TRUE(PressAsksQ9()) << "transfer";
    Mcu(CompletionRequest());
    Tick();
    ASSERT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_TRUE(PressAsksQ9()) << "done";
}

TEST_F(CommandTest, TheStartButtonNeverAsksMtkGps) {
    fake.programs = {{u"MtkGps", kMtk}};
    ToReady();
    fake.quitRequests.clear();
    Press();
    EXPECT_TRUE(fake.quitRequests.empty());
}

TEST_F(CommandTest, PressingAtReadyStartsTheRunOnTheNextTick) {
    PutImage(16);
    ToReady();
    Press();
    EXPECT_TRUE(fake.writes.empty());
    Tick();
    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0], (std::vector<std::uint8_t>{0x23, 0x55, 0x02, 0x56, 0x4B, 0x54}));
}

TEST_F(CommandTest, ABusyStateIsShownOnTheNextTickThatHasNoTextOfItsOwn) {
    ToHandshake();
    Press();
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"状态忙!");
}

TEST_F(CommandTest, ABusyStateIsOverwrittenByTheTicksOwnText) {
    Open();
    Press();  // step 0: busy
    Tick();   // the port opens and says so
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开成功!");
}

TEST_F(CommandTest, PressingDuringTheTransferDoesNothingMore) {
    ToTransfer();
    const std::size_t writes = fake.writeRequests.size();
    Press();
    EXPECT_EQ(fake.writeRequests.size(), writes);
    EXPECT_EQ(statusMailbox.messageChanged, 0);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(CommandTest, ThreePressesAtDoneWriteThreeResetFramesAndKeepTheButton) {
    ToDone();
    for (int i = 0; i < 3; ++i) {
        Press();
        Tick();
    }
    EXPECT_EQ(ResetFramesWritten(), 3);
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(window.Text(IDC_START), u"完成重启");
    EXPECT_TRUE(window.Enabled(IDC_START));
    EXPECT_FALSE(window.endResult.has_value());
}

TEST_F(CommandTest, TheExitCommandInTheTransferWritesTheResetFrameAndEndsWith2) {
    ToTransfer();
    window.Command(IDC_EXIT);
    EXPECT_EQ(ResetFramesWritten(), 1);
    EXPECT_EQ(fake.writeRequests.back(), ResetFrame());
    EXPECT_EQ(window.endResult, IDCANCEL);
}

TEST_F(CommandTest, TheExitCommandEndsTheDialogEvenWithoutAPort) {
    fake.portExists = false;
    Open();
    Tick();
    window.Command(IDC_EXIT);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"发送数据失败!");
    EXPECT_EQ(window.endResult, IDCANCEL);
}

TEST_F(CommandTest, OkEndsWith1WithoutAResetFrame) {
    ToDone();
    window.Command(IDOK);
    EXPECT_EQ(window.endResult, IDOK);
    EXPECT_EQ(ResetFramesWritten(), 0);
}

TEST_F(CommandTest, CancelEndsWith2WithoutAResetFrame) {
    ToDone();
    window.Command(IDCANCEL);
    EXPECT_EQ(window.endResult, IDCANCEL);
    EXPECT_EQ(ResetFramesWritten(), 0);
}

TEST_F(CommandTest, CommandsOfOtherIdentifiersOrNotificationsAreIgnored) {
    ToReady();
    window.Command(1004);
    window.Command(IDC_START, 5);
    window.Command(IDC_EXIT, 1);
    EXPECT_FALSE(window.endResult.has_value());
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

}  // namespace
}  // namespace vardel::testing
