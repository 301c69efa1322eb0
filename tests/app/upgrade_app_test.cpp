// The application object's one modal run and the process's road to its end.
#include <gtest/gtest.h>

#include "app/StatusMailbox.h"
#include "app/UpgradeApp.h"
#include "app/resources/Resource.h"
#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeWindow.h"

namespace vardel {
namespace {

TEST(UpgradeApp, RunsTheMainDialogModallyOnceAndTheProcessEndsHoweverItEnds) {
    for (const int command : {IDOK, IDCANCEL, IDC_EXIT}) {
        SCOPED_TRACE(command);
        statusMailbox = {};
        FakePlatform fake;
        UpgradeEngine engine{fake};
        UpgradeApp app{engine, fake};
        FakeWindow windows;
        bool sawMainWindow = false;
        windows.user = [&](FakeWindow& w) {
            EXPECT_EQ(w.openTemplate->id, IDD_MAIN);
            sawMainWindow = app.MainWindow() != nullptr;
            w.Timer(1000);
            w.Command(command);
        };
        EXPECT_EQ(app.Run(windows), 0);
        EXPECT_TRUE(sawMainWindow);
        EXPECT_EQ(windows.endResult, command == IDOK ? IDOK : IDCANCEL);
        EXPECT_TRUE(windows.destroyed);
        EXPECT_EQ(app.MainWindow(), nullptr);
        EXPECT_EQ(fake.closeCalls, 0) << "the port stays open until the engine goes";
        EXPECT_NE(fake.openPort, 0);
    }
}

}  // namespace
}  // namespace vardel
