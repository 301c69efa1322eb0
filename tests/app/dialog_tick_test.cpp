// Every tick of the engine timer: the engine first, then what the mailbox
// flags as new, then the step label and the button when the step changed.
#include <algorithm>

#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

using TickTest = DialogTest;

long TextSets(const FakeWindow& window, int control) {
    return std::count_if(
        window.textLog.begin(), window.textLog.end(),
        [control](const FakeWindow::TextSet& set) { return set.control == control; });
}

TEST_F(TickTest, TheStepLabelAndTheButtonFollowTheRun) {
    Open();
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开成功!");
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 1");
    EXPECT_TRUE(window.Enabled(IDC_START));

    Press();  // no firmware file yet: the button stays for another try
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"打开Q9升级文件KD51A.BIN失败!");
    EXPECT_TRUE(window.Enabled(IDC_START));

    PutImage(16);
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

    Mcu(Completion());
    window.textLog.clear();
    Tick();
    // The percentage before the text, the button's text before the step.
    const std::vector<int> order = {IDC_PERCENT, IDC_STATUS, IDC_START, IDC_STEP};
    std::vector<int> controls;
    for (const auto& set : window.textLog) controls.push_back(set.control);
    EXPECT_EQ(controls, order);
    EXPECT_EQ(window.Text(IDC_PERCENT), u"100%");
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);
    EXPECT_EQ(window.Text(IDC_STATUS), u"升级成功!");
    EXPECT_EQ(window.Text(IDC_START), u"完成重启");
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 255");
    EXPECT_TRUE(window.Enabled(IDC_START));
}

TEST_F(TickTest, APortThatDoesNotOpenShowsItsFailureOnEveryTickAndStep0Once) {
    fake.portExists = false;
    Open();
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 0");
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开失败!");
    EXPECT_EQ(TextSets(window, IDC_STATUS), 3);
    EXPECT_EQ(TextSets(window, IDC_STEP), 1);
    EXPECT_FALSE(window.Enabled(IDC_START));
}

TEST_F(TickTest, TicksWithoutNewsSetNothing) {
    Open();
    Tick();
    const std::size_t sets = window.textLog.size();
    for (int i = 0; i < 5; ++i) Tick();
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
}

TEST_F(TickTest, APercentageAbove100IsShownInFullAndFillsTheBar) {
    ToTransfer(1024);
    Mcu(BlockRequest(1023));
    Tick();
    EXPECT_EQ(window.Text(IDC_PERCENT), u"228%");
    EXPECT_EQ(window.barLog.back(), 228);
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);
}

TEST_F(TickTest, OfTwoTextsReportedInOneTickOnlyTheLaterIsShown) {
    ToTransfer();
    fake.writeLimit = 0;  // block 1's frame fails after its upgrading text
    Mcu(BlockRequest(1));
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"发送数据失败!");
    EXPECT_TRUE(std::none_of(window.textLog.begin(), window.textLog.end(), [](const auto& set) {
        return set.text == u"正在升级......, 请稍后, 不要断电!!!";
    }));
}

TEST_F(TickTest, TheSamePercentageReportedAgainIsShownAgain) {
    Open();
    engine.onProgress(100);
    Tick();
    engine.onProgress(100);
    Tick();
    EXPECT_EQ(TextSets(window, IDC_PERCENT), 2);
    EXPECT_EQ(window.barLog, (std::vector<int>{100, 100}));
}

}  // namespace
}  // namespace vardel::testing
