// Every tick of the engine timer: the engine first, then what the mailbox
// flags as new, then the step label and the button when the step changed.
#include <algorithm>

#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

using TickTest = DialogTest;

int TextSets(const FakeWindow& window, int control) {
    return static_cast<int>(std::count_if(
        window.textLog.begin(), window.textLog.end(),
        [control](const FakeWindow::TextSet& set) { return set.control == control; }));
}

TEST_F(TickTest, TheFirstTickWithThePortOpenShowsStep1AndEnablesTheButton) {
    Open();
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开成功!");
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 1");
    EXPECT_EQ(dialog.stepText, u"Step = 1");
    EXPECT_TRUE(window.Enabled(IDC_START));
    EXPECT_EQ(window.Text(IDC_PERCENT), u"");
}

TEST_F(TickTest, APortThatDoesNotOpenShowsStep0AndItsFailureOnEveryTick) {
    fake.portExists = false;
    Open();
    for (int i = 0; i < 3; ++i) {
        Tick();
    }
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 0");
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开失败!");
    EXPECT_EQ(TextSets(window, IDC_STATUS), 3);
    EXPECT_EQ(TextSets(window, IDC_STEP), 1);
    EXPECT_FALSE(window.Enabled(IDC_START));
}

TEST_F(TickTest, APortThatOpensLateEnablesTheButtonThen) {
    fake.portExists = false;
    Open();
    Tick();
    fake.portExists = true;
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 1");
    EXPECT_TRUE(window.Enabled(IDC_START));
}

TEST_F(TickTest, TicksWithoutNewsSetNothing) {
    ToReady();
    const std::size_t sets = window.textLog.size();
    for (int i = 0; i < 5; ++i) {
        Tick();
    }
    EXPECT_EQ(window.textLog.size(), sets);
    EXPECT_TRUE(window.barLog.empty());
}

TEST_F(TickTest, ATimerOtherThanTheEngineTimerRunsNoTickAndChangesNoLabel) {
    Open();
    engine.ReportMessage(u"状态忙!");
    window.Timer(1001);
    window.Timer(1);
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_TRUE(window.textLog.empty());
    EXPECT_EQ(statusMailbox.messageChanged, 1);
}

TEST_F(TickTest, APercentageAbove100IsShownInFullAndFillsTheBar) {
    PutImage(1024);
    ToReady();
    Press();
    Tick();
    Mcu(BlockRequest(0));
    Tick();
    Mcu(BlockRequest(1023));
    Tick();
    EXPECT_EQ(window.Text(IDC_PERCENT), u"228%");
    EXPECT_EQ(std::u16string(statusMailbox.percentText), u"228%");
    ASSERT_FALSE(window.barLog.empty());
    EXPECT_EQ(window.barLog.back(), 228);
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);
}

TEST_F(TickTest, OfTwoTextsReportedInOneTickOnlyTheLaterIsShown) {
    ToTransfer();
    fake.writeLimit = 0;  // block 1's frame fails after its upgrading text
    Mcu(BlockRequest(1));
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"发送数据失败!");
    for (const auto& set : window.textLog) {
        EXPECT_NE(set.text, u"正在升级......, 请稍后, 不要断电!!!");
    }
}

TEST_F(TickTest, TheUpgradingTextIsShownWhenBlock1IsServed) {
    ToTransfer();
    Mcu(BlockRequest(1));
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"正在升级......, 请稍后, 不要断电!!!");
}

TEST_F(TickTest, PercentageAndMessageOfOneTickAreBothShownPercentageFirst) {
    ToTransfer();
    window.textLog.clear();
    Mcu(CompletionRequest());
    Tick();
    ASSERT_GE(window.textLog.size(), 2u);
    EXPECT_EQ(window.textLog[0].control, IDC_PERCENT);
    EXPECT_EQ(window.textLog[0].text, u"100%");
    EXPECT_EQ(window.textLog[1].control, IDC_STATUS);
    EXPECT_EQ(window.textLog[1].text, u"升级成功!");
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);
}

TEST_F(TickTest, TheSamePercentageReportedAgainIsShownAgain) {
    ToReady();
    engine.onProgress(100);
    Tick();
    engine.onProgress(100);
    Tick();
    EXPECT_EQ(TextSets(window, IDC_PERCENT), 2);
    EXPECT_EQ(window.barLog, (std::vector<int>{100, 100}));
}

TEST_F(TickTest, TheStepLabelAndTheButtonFollowTheRun) {
    PutImage(16);
    Open();
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 1");
    EXPECT_TRUE(window.Enabled(IDC_START));

    Press();
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 2");
    EXPECT_FALSE(window.Enabled(IDC_START));

    Mcu(BlockRequest(0));
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 3");
    EXPECT_EQ(window.Text(IDC_STATUS), u"通信建立，开始传输数据!");
    EXPECT_FALSE(window.Enabled(IDC_START));

    Tick();  // block 0 goes out
    EXPECT_EQ(window.Text(IDC_PERCENT), u"0%");

    Mcu(CompletionRequest());
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 255");
    EXPECT_EQ(window.Text(IDC_START), u"完成重启");
    EXPECT_TRUE(window.Enabled(IDC_START));
    EXPECT_EQ(dialog.lastShownStep, STEP_DONE);
    EXPECT_EQ(window.unknownControlCalls, 0);
}

TEST_F(TickTest, AtDoneTheButtonTextIsSetBeforeItIsEnabled) {
    ToTransfer();
    Mcu(CompletionRequest());
    window.textLog.clear();
    Tick();
    const auto start = std::find_if(window.textLog.begin(), window.textLog.end(),
                                    [](const auto& set) { return set.control == IDC_START; });
    const auto step = std::find_if(window.textLog.begin(), window.textLog.end(),
                                   [](const auto& set) { return set.control == IDC_STEP; });
    ASSERT_NE(start, window.textLog.end());
    ASSERT_NE(step, window.textLog.end());
    EXPECT_LT(start - window.textLog.begin(), step - window.textLog.begin());
}

TEST_F(TickTest, AFailedImageLoadLeavesTheButtonEnabledForAnotherTry) {
    ToReady();
    Press();
    Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(window.Text(IDC_STATUS), u"打开Q9升级文件KD51A.BIN失败!");
    EXPECT_TRUE(window.Enabled(IDC_START));

    PutImage(16);
    Press();
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 2");
}

}  // namespace
}  // namespace vardel::testing
