// The main dialog from the opening of its window through every tick of the
// engine timer: the engine first, then what the mailbox flags as new, then the
// step label and the button when the step changed.
#include "tests/app/DialogHarness.h"

namespace vardel::test {
namespace {

using TextSets = std::vector<std::pair<int, std::u16string>>;

class TickTest : public DialogTest {
protected:
    // Every text set on a control since the last call, in order.
    TextSets Sets() {
        TextSets sets;
        for (const auto& set : window.textLog) sets.emplace_back(set.control, set.text);
        window.textLog.clear();
        return sets;
    }
};

// The window opens with empty labels, the button disabled and the engine timer
// running; the port waits for the first tick. A port that does not open shows
// its failure on every tick and "Step = 0" once.
TEST_F(TickTest, TheStepLabelAndTheButtonFollowTheRunAndEveryPressAsksQ9GpsToQuit) {
    fake.programs = {{u"MtkGps", 11}, {u"Q9Gps", 22}};
    fake.portExists = false;
    Open();
    EXPECT_EQ(window.Text(IDC_PERCENT), u"");
    EXPECT_EQ(window.Text(IDC_STATUS), u"");
    EXPECT_EQ(window.Text(IDC_STEP), u"");
    EXPECT_EQ(window.Position(IDC_PROGRESS), 0);
    EXPECT_EQ(window.Text(IDC_START), u"开始升级");
    EXPECT_FALSE(window.Enabled(IDC_START));
    EXPECT_EQ(window.timers, (std::vector<std::pair<int, std::uint32_t>>{{1000, 5}}));
    EXPECT_EQ(window.initDialogResult, 1);  // the focus goes where the system puts it
    EXPECT_EQ(window.topmostCalls, 1);
    EXPECT_EQ(window.loadedIcons, std::vector<int>{IDR_MAINFRAME});
    EXPECT_EQ(window.icons, (std::vector<std::pair<int, IconHandle>>{
                                {ICON_BIG, window.iconToHand}, {ICON_SMALL, window.iconToHand}}));
    EXPECT_EQ(fake.openCalls, 0);
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(Sets(), (TextSets{{IDC_STATUS, u"串口打开失败!"},
                                {IDC_STEP, u"Step = 0"},
                                {IDC_STATUS, u"串口打开失败!"},
                                {IDC_STATUS, u"串口打开失败!"}}));
    EXPECT_FALSE(window.Enabled(IDC_START));

    fake.portExists = true;
    const auto press = [this] {
        fake.quitRequests.clear();
        Press();
        EXPECT_EQ(fake.quitRequests, std::vector<ProgramHandle>{22}) << engine.GetStep();
    };
    press();
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"串口打开成功!");
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 1");
    EXPECT_TRUE(window.Enabled(IDC_START));

    press();  // no firmware file yet: the button stays for another try
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"打开Q9升级文件KD51A.BIN失败!");
    EXPECT_TRUE(window.Enabled(IDC_START));

    PutImage(1024);
    press();
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 2");
    EXPECT_FALSE(window.Enabled(IDC_START));

    press();
    Mcu(BlockRequest(0));
    Tick();
    EXPECT_EQ(window.Text(IDC_STEP), u"Step = 3");
    EXPECT_FALSE(window.Enabled(IDC_START));
    Tick();  // block 0 goes out
    EXPECT_EQ(window.Text(IDC_PERCENT), u"0%");
    press();  // mid-transfer: neither a start (it would say busy) nor a reset frame
    // Later blocks of a large image pass 100%: shown in full, the bar full.
    Mcu(BlockRequest(1023));
    Tick();
    EXPECT_EQ(window.Text(IDC_STATUS), u"通信建立，开始传输数据!");
    EXPECT_EQ(window.Text(IDC_PERCENT), u"228%");
    EXPECT_EQ(window.barLog.back(), 228);
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);

    Mcu(Completion());
    Sets();
    Tick();
    // The percentage before the text, the button's text before the step.
    EXPECT_EQ(Sets(), (TextSets{{IDC_PERCENT, u"100%"},
                                {IDC_STATUS, u"升级成功!"},
                                {IDC_START, u"完成重启"},
                                {IDC_STEP, u"Step = 255"}}));
    EXPECT_EQ(window.Position(IDC_PROGRESS), 100);

    // Commands of other identifiers or notifications do nothing; each press now
    // writes a reset frame, and the button stays as it is.
    window.Command(1004);
    window.Command(IDC_START, 5);
    window.Command(IDC_EXIT, 1);
    for (int i = 0; i < 3; ++i) {
        press();
        Tick();
    }
    EXPECT_EQ(std::count(fake.writes.begin(), fake.writes.end(), ResetFrame()), 3);
    EXPECT_EQ(window.Text(IDC_START), u"完成重启");
    EXPECT_TRUE(window.Enabled(IDC_START));
    EXPECT_FALSE(window.endResult.has_value());
    fake.programs = {{u"MtkGps", 11}};
    fake.quitRequests.clear();
    Press();
    EXPECT_TRUE(fake.quitRequests.empty());
    EXPECT_EQ(window.unknownControlCalls, 0);
}

// Only one navigation program runs on a unit: Q9Gps is asked before MtkGps.
TEST(MainDialogOpening, AsksTheNavigationProgramToQuit) {
    const std::pair<std::vector<FakePlatform::Program>, std::vector<ProgramHandle>> rows[] = {
        {{{u"MtkGps", 11}, {u"Q9Gps", 22}}, {22}},
        {{{u"MtkGps", 11}}, {11}},
        {{{u"Explorer", 5}}, {}},
    };
    for (const auto& [programs, asked] : rows) {
        DialogRig rig;
        rig.fake.programs = programs;
        rig.Open();
        EXPECT_EQ(rig.fake.quitRequests, asked) << programs.size();
    }
}

// Only what was reported since the last tick is shown, the latest text only,
// cut to 259 units; the same percentage reported again is shown again. Other
// timers than the engine timer run no tick at all.
TEST_F(TickTest, ATickShowsWhatWasReportedSinceTheLastOne) {
    Open();
    engine.ReportMessage(u"状态忙!");
    window.Timer(1001);
    window.Timer(1);
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_TRUE(Sets().empty());
    Tick();
    Sets();
    Tick();
    EXPECT_TRUE(Sets().empty());
    std::u16string text(300, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(u'一' + i);
    engine.ReportMessage(u"状态忙!");
    EXPECT_EQ(engine.onMessage(text.c_str(), 0), 1);
    EXPECT_EQ(engine.onProgress(100), 1);
    Tick();
    engine.onProgress(100);
    Tick();
    engine.ReportMessage(u"状态忙!");
    Tick();
    EXPECT_EQ(Sets(), (TextSets{{IDC_PERCENT, u"100%"},
                                {IDC_STATUS, text.substr(0, 259)},
                                {IDC_PERCENT, u"100%"},
                                {IDC_STATUS, u"状态忙!"}}));
    EXPECT_EQ(window.barLog, (std::vector<int>{100, 100}));
}

}  // namespace
}  // namespace vardel::test
