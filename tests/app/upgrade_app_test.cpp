// The application object's one modal run and the process's road to its end.
#include <gtest/gtest.h>

#include <memory>

#include "app/StatusMailbox.h"
#include "app/UpgradeApp.h"
#include "app/framework/Dialog.h"
#include "app/resources/Resource.h"
#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeWindow.h"
#include "tests/app/DialogHarness.h"

namespace vardel::testing {
namespace {

class AppTest : public ::testing::Test {
protected:
    AppTest() {
        statusMailbox = {};
        fake.msPerTickCount = 1;
    }

    FakePlatform fake;
    std::unique_ptr<UpgradeEngine> engine = std::make_unique<UpgradeEngine>(fake);
    FakeWindow windows;
    UpgradeApp app{*engine, fake};
};

TEST_F(AppTest, TheApplicationObjectRegistersItself) { EXPECT_EQ(Application::Running(), &app); }

TEST_F(AppTest, InitInstanceRunsTheMainDialogModallyAndEndsTheProcess) {
    bool sawMainWindow = false;
    windows.user = [&](FakeWindow& w) {
        EXPECT_EQ(w.openTemplate->id, IDD_MAIN);
        sawMainWindow = app.MainWindow() != nullptr;
        w.Timer(1000);
        w.Command(IDOK);
    };
    EXPECT_EQ(app.Run(windows), 0);
    EXPECT_TRUE(sawMainWindow);
    EXPECT_TRUE(windows.destroyed);
    EXPECT_EQ(app.MainWindow(), nullptr);
}

TEST_F(AppTest, TheProcessEndsHoweverTheDialogEnds) {
    for (const int command : {IDOK, IDCANCEL, IDC_EXIT}) {
        windows.user = [command](FakeWindow& w) { w.Command(command); };
        EXPECT_EQ(app.Run(windows), 0) << command;
        EXPECT_EQ(windows.endResult, command == IDOK ? IDOK : IDCANCEL) << command;
    }
}

TEST_F(AppTest, AnOpenedPortStaysOpenUntilTheEngineIsDestroyed) {
    fake.files[kQ9Image].bytes.assign(1024, 0x5A);
    windows.user = [](FakeWindow& w) {
        w.Timer(1000);
        w.Command(IDC_START);
        w.Timer(1000);
        w.Command(IDCANCEL);
    };
    app.Run(windows);
    EXPECT_NE(fake.openPort, 0);
    EXPECT_EQ(fake.closeCalls, 0);
    EXPECT_EQ(fake.allocations, 1);
    EXPECT_EQ(fake.frees, 0);

    engine.reset();
    EXPECT_EQ(fake.openPort, 0);
    EXPECT_EQ(fake.closeCalls, 1);
    EXPECT_EQ(fake.frees, 1);
}

TEST_F(AppTest, AnEngineThatNeverOpenedThePortClosesAndFreesNothing) {
    fake.portExists = false;
    windows.user = [](FakeWindow& w) {
        w.Timer(1000);
        w.Command(IDCANCEL);
    };
    app.Run(windows);
    engine.reset();
    EXPECT_EQ(fake.closeCalls, 0);
    EXPECT_EQ(fake.frees, 0);
}

TEST_F(AppTest, TheCallbacksStayRegisteredAfterTheDialogHasGone) {
    windows.user = [](FakeWindow& w) { w.Command(IDCANCEL); };
    app.Run(windows);
    engine->ReportMessage(u"状态忙!");
    EXPECT_EQ(std::u16string(statusMailbox.messageText), u"状态忙!");
}

class MissingTemplateDialog : public Dialog {
public:
    explicit MissingTemplateDialog(WindowSystem& windows) : Dialog(9999, windows) {}
};

TEST(DialogFramework, ADialogWithoutItsTemplateDoesNotRun) {
    FakeWindow windows;
    MissingTemplateDialog dialog(windows);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(windows.openTemplate, nullptr);
}

}  // namespace
}  // namespace vardel::testing
