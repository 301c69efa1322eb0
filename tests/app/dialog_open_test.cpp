// What the main dialog does when its window opens, before any tick.
#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

using OpenTest = DialogTest;

TEST_F(OpenTest, TheLabelsAreEmptyTheButtonDisabledAndTheEngineTimerIs1000Every5ms) {
    Open();
    EXPECT_EQ(window.Text(IDC_PERCENT), u"");
    EXPECT_EQ(window.Text(IDC_STATUS), u"");
    EXPECT_EQ(window.Text(IDC_STEP), u"");
    EXPECT_EQ(window.Position(IDC_PROGRESS), 0);
    EXPECT_EQ(window.Text(IDC_START), u"开始升级");
    EXPECT_FALSE(window.Enabled(IDC_START));
    EXPECT_EQ(window.timers, (std::vector<std::pair<int, std::uint32_t>>{{1000, 5}}));
    EXPECT_EQ(window.topmostCalls, 1);
    EXPECT_EQ(window.loadedIcons, std::vector<int>{IDR_MAINFRAME});
    EXPECT_EQ(window.icons, (std::vector<std::pair<int, IconHandle>>{
                                {ICON_BIG, window.iconToHand}, {ICON_SMALL, window.iconToHand}}));
    EXPECT_EQ(fake.openCalls, 0) << "the port waits for the first tick";
    EXPECT_EQ(window.unknownControlCalls, 0);
}

TEST_F(OpenTest, TheNavigationProgramIsAskedToQuitQ9GpsBeforeMtkGps) {
    const std::pair<std::vector<FakePlatform::Program>, std::vector<ProgramHandle>> rows[] = {
        {{{u"MtkGps", 11}, {u"Q9Gps", 22}}, {22}},
        {{{u"MtkGps", 11}}, {11}},
        {{{u"Explorer", 5}}, {}},
    };
    for (const auto& [programs, asked] : rows) {
        FakePlatform platform;
        platform.programs = programs;
        FakeWindow windows;
        MainDialog main{engine, platform, windows};
        windows.Open(kMainDialogTemplate, main);
        EXPECT_EQ(platform.quitRequests, asked) << programs.size();
    }
}

}  // namespace
}  // namespace vardel::testing
