// The application's one modal run and the commands that end it: the dialog
// manager's OK and cancel, and the exit command 1001 (the start button and the
// commands that do nothing are in main_dialog_test, along the road of a run).
#include "app/UpgradeApp.h"
#include "tests/app/DialogHarness.h"

namespace vardel::test {
namespace {

// Mid-transfer. Command 1001 ends the dialog even when its reset frame cannot go
// out. However the dialog ends, the process ends, and the port stays open until
// the engine goes.
TEST(UpgradeApp, ItsOneModalRunEndsWith1OnOkAnd2OnCancelOr1001WhichWritesTheResetFrameFirst) {
    const std::tuple<int, bool, int, long> rows[] = {{IDOK, true, IDOK, 0},
                                                     {IDCANCEL, true, IDCANCEL, 0},
                                                     {IDC_EXIT, true, IDCANCEL, 1},
                                                     {IDC_EXIT, false, IDCANCEL, 0}};
    for (const auto& [command, portExists, result, resets] : rows) {
        SCOPED_TRACE(::testing::Message() << command << (portExists ? "" : " without a port"));
        DialogRig rig;
        rig.fake.portExists = portExists;
        rig.PutImage(16);
        UpgradeApp app{rig.engine, rig.fake};
        rig.window.user = [&, command = command, portExists = portExists](FakeWindow& w) {
            EXPECT_EQ(w.openTemplate->id, IDD_MAIN);
            EXPECT_NE(app.MainWindow(), nullptr);
            for (const auto& mcu : {std::vector<std::uint8_t>{}, {}, BlockRequest(0)}) {
                rig.Mcu(mcu);
                rig.Tick();
                rig.Press();
            }
            EXPECT_EQ(rig.engine.GetStep(), portExists ? STEP_TRANSFER : STEP_CLOSED);
            w.Command(command);
        };
        EXPECT_EQ(app.Run(rig.window), 0);
        EXPECT_EQ(rig.window.endResult, result);
        EXPECT_EQ(std::count(rig.fake.writes.begin(), rig.fake.writes.end(), ResetFrame()), resets);
        EXPECT_TRUE(rig.window.destroyed);
        EXPECT_EQ(app.MainWindow(), nullptr);
        EXPECT_EQ(rig.fake.closeCalls, 0);
    }
}

}  // namespace
}  // namespace vardel::test
