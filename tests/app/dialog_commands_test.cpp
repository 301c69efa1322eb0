// The start button, the exit command 1001, and the dialog manager's OK and
// cancel commands.
#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

using CommandTest = DialogTest;

TEST_F(CommandTest, EveryPressAsksQ9GpsToQuitAndNeverMtkGps) {
    fake.programs = {{u"MtkGps", 11}, {u"Q9Gps", 22}};
    PutImage(16);
    Open();
    const auto pressAsksQ9 = [this] {
        fake.quitRequests.clear();
        Press();
        return fake.quitRequests == std::vector<ProgramHandle>{22};
    };
    EXPECT_TRUE(pressAsksQ9()) << "closed";
    Tick();
    EXPECT_TRUE(pressAsksQ9()) << "ready";
    Tick();
    EXPECT_TRUE(pressAsksQ9()) << "handshake";
    Mcu(BlockRequest(0));
    Tick();
    EXPECT_TRUE(pressAsksQ9()) << "transfer";
    EXPECT_EQ(ResetFramesWritten(), 0) << "a press mid-transfer must not reset the MCU";
    Mcu(Completion());
    Tick();
    ASSERT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_TRUE(pressAsksQ9()) << "done";

    fake.programs = {{u"MtkGps", 11}};
    EXPECT_FALSE(pressAsksQ9());
    EXPECT_TRUE(fake.quitRequests.empty());
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

// Command 1001 ends the dialog even when its reset frame cannot go out.
TEST_F(CommandTest, MidTransferOkEndsWith1CancelWith2AndCommand1001WritesTheResetFrameFirst) {
    const std::tuple<int, bool, int, long> rows[] = {{IDOK, true, 1, 0},
                                                     {IDCANCEL, true, 2, 0},
                                                     {IDC_EXIT, true, 2, 1},
                                                     {IDC_EXIT, false, 2, 0}};
    for (const auto& [command, portExists, result, resets] : rows) {
        SCOPED_TRACE(::testing::Message() << command << (portExists ? "" : " without a port"));
        FakePlatform platform;
        platform.portExists = portExists;
        platform.files[kQ9Image].bytes.assign(1024, 0x5A);
        UpgradeEngine e{platform};
        FakeWindow w;
        MainDialog main{e, platform, w};
        w.Open(kMainDialogTemplate, main);
        for (const auto& mcu : {std::vector<std::uint8_t>{}, {}, BlockRequest(0)}) {
            platform.Arrive(platform.now, mcu);
            w.Timer(TIMER_ENGINE);
            w.Command(IDC_START);
        }
        ASSERT_EQ(e.GetStep(), portExists ? STEP_TRANSFER : STEP_CLOSED);

        w.Command(command);
        EXPECT_EQ(w.endResult, result);
        EXPECT_EQ(std::count(platform.writes.begin(), platform.writes.end(), ResetFrame()), resets);
    }
}

TEST_F(CommandTest, CommandsOfOtherIdentifiersOrNotificationsAreIgnored) {
    Open();
    Tick();
    window.Command(1004);
    window.Command(IDC_START, 5);
    window.Command(IDC_EXIT, 1);
    EXPECT_FALSE(window.endResult.has_value());
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

}  // namespace
}  // namespace vardel::testing
