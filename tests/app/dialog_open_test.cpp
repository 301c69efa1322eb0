// What the main dialog does when its window opens, before any tick.
#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

using OpenTest = DialogTest;

TEST_F(OpenTest, TheIconIsLoadedOnceAndUsedForBothWindowIcons) {
    EXPECT_EQ(window.loadedIcons, std::vector<int>{IDR_MAINFRAME});
    Open();
    const std::vector<std::pair<int, IconHandle>> expected = {{ICON_BIG, window.iconToHand},
                                                              {ICON_SMALL, window.iconToHand}};
    EXPECT_EQ(window.icons, expected);
}

TEST_F(OpenTest, ConstructingTheDialogTouchesNeitherEngineNorPlatform) {
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_TRUE(fake.quitRequests.empty());
    EXPECT_EQ(engine.onMessage, nullptr);
}

TEST_F(OpenTest, BeforeTheFirstTickTheLabelsAreEmptyAndTheButtonIsDisabled) {
    Open();
    EXPECT_EQ(window.Text(IDC_PERCENT), u"");
    EXPECT_EQ(window.Text(IDC_STATUS), u"");
    EXPECT_EQ(window.Text(IDC_STEP), u"");
    EXPECT_EQ(window.Position(IDC_PROGRESS), 0);
    EXPECT_EQ(window.Text(IDC_START), u"开始升级");
    EXPECT_FALSE(window.Enabled(IDC_START));
    EXPECT_EQ(window.unknownControlCalls, 0);
}

TEST_F(OpenTest, TheEngineTimerIs1000Every5ms) {
    Open();
    const std::vector<std::pair<int, std::uint32_t>> expected = {{1000, 5}};
    EXPECT_EQ(window.timers, expected);
}

TEST_F(OpenTest, TheWindowIsMadeTopmostAndAsksForTheFocusToBePlaced) {
    Open();
    EXPECT_EQ(window.topmostCalls, 1);
    EXPECT_EQ(window.initDialogResult, 1);
    EXPECT_EQ(dialog.lastShownStep, -1);
}

TEST_F(OpenTest, TheEnginesReportsGoToTheMailbox) {
    Open();
    engine.ReportMessage(u"状态忙!");
    EXPECT_EQ(statusMailbox.messageChanged, 1);
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"状态忙!");
    ASSERT_NE(engine.onProgress, nullptr);
    engine.onProgress(12);
    EXPECT_EQ(statusMailbox.percent, 12);
    EXPECT_EQ(engine.messageContext, 0u);
}

TEST_F(OpenTest, OpeningDoesNotTouchTheSerialPort) {
    Open();
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
}

TEST_F(OpenTest, WithBothNavigationProgramsOnlyQ9GpsIsAsked) {
    fake.programs = {{u"MtkGps", 11}, {u"Q9Gps", 22}};
    Open();
    EXPECT_EQ(fake.quitRequests, std::vector<ProgramHandle>{22});
}

TEST_F(OpenTest, WithOnlyMtkGpsRunningItIsAsked) {
    fake.programs = {{u"MtkGps", 11}};
    Open();
    EXPECT_EQ(fake.quitRequests, std::vector<ProgramHandle>{11});
}

TEST_F(OpenTest, WithNoNavigationProgramNobodyIsAsked) {
    fake.programs = {{u"Explorer", 5}};
    Open();
    EXPECT_TRUE(fake.quitRequests.empty());
}

}  // namespace
}  // namespace vardel::testing
