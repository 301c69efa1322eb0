// The Qt host with real widgets on Qt's offscreen platform: the window built
// from IDD_MAIN, what the dialog asks of it, the keys, the close request, the
// button and the signals that become commands, and the engine timer's pace.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <utility>
#include <vector>

#include "app/resources/MainDialogTemplate.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/QtDialogWindow.h"
#include "platform/qt/QtWindowSystem.h"
#include "platform/qt/SignalCommands.h"
#include "tests/hosts/ScriptedDialog.h"

namespace vardel::test {
namespace {

using qt::QtDialogWindow;

class QtHost : public ::testing::Test {
protected:
    qt::QtWindowSystem windows;
    test::ScriptedDialog dialog;
};

TEST_F(QtHost, TheTemplateIsLaidOutInDialogUnitsInAFixedFrameThatDoesAsTheDialogAsks) {
    // A quarter of the base width and an eighth of the base height per unit,
    // rounded half away from zero.
    const qt::DialogBaseUnits known{6, 13};
    EXPECT_EQ(qt::DialogUnitsToPixels({0, 0, 455, 252}, known), QRect(0, 0, 683, 410));
    EXPECT_EQ(qt::DialogUnitsToPixels({322, 157, 69, 35}, known), QRect(483, 255, 104, 57));
    EXPECT_EQ(qt::DialogUnitsToPixels({63, 165, 241, 23}, known), QRect(95, 268, 362, 37));
    EXPECT_EQ(qt::DialogUnitsToPixels({-2, -3, 0, 0}, known), QRect(-3, -5, 0, 0));
    const QFont font = qt::DialogFont(kMainDialogTemplate);
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_TRUE(font.families().contains(QStringLiteral("WenQuanYi Micro Hei")));

    QtDialogWindow window(kMainDialogTemplate, dialog, windows, nullptr);
    const qt::DialogBaseUnits units = window.BaseUnits();
    EXPECT_TRUE(units.width >= 4 && units.width <= 12) << units.width;
    EXPECT_TRUE(units.height >= 10 && units.height <= 24) << units.height;
    EXPECT_EQ(window.size(), qt::DialogUnitsToPixels({0, 0, 455, 252}, units).size());
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vardel v4.0"));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowTitleHint));
    for (const Qt::WindowType absent :
         {Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint,
          Qt::WindowMaximizeButtonHint}) {
        EXPECT_FALSE(window.windowFlags().testFlag(absent)) << absent;
    }

    // In template order: an ordinary button, the bar, three plain empty labels.
    const QList<QWidget*> children = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(children[i], window.Control(kMainDialogControls[i].id));
        EXPECT_EQ(children[i]->geometry(),
                  qt::DialogUnitsToPixels(kMainDialogControls[i].rect, units));
    }
    const auto* button = qobject_cast<QPushButton*>(children[0]);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("开始升级"));
    EXPECT_FALSE(button->autoDefault() || button->isDefault());
    EXPECT_NE(qobject_cast<QProgressBar*>(children[1]), nullptr);
    for (int i = 2; i < 5; ++i) {
        const auto* label = qobject_cast<QLabel*>(children[i]);
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->text().isEmpty());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }

    window.SetControlText(IDC_STATUS, u"串口打开成功!");
    EXPECT_EQ(qobject_cast<QLabel*>(window.Control(IDC_STATUS))->text(),
              QStringLiteral("串口打开成功!"));
    const auto* bar = qobject_cast<QProgressBar*>(window.Control(IDC_PROGRESS));
    for (const auto& [position, shown] : {std::pair{45, 45}, {228, 100}, {-5, 0}}) {
        window.SetBarPosition(IDC_PROGRESS, position);
        EXPECT_EQ(bar->value(), shown) << position;
    }
    window.EnableControl(IDC_START, false);
    EXPECT_FALSE(window.Control(IDC_START)->isEnabled());
    EXPECT_EQ(windows.LoadIcon(IDR_MAINFRAME + 1), IconHandle{0});
    window.SetIcon(ICON_BIG, windows.LoadIcon(IDR_MAINFRAME));
    EXPECT_FALSE(window.windowIcon().isNull());
    window.MakeTopmost();
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// As the system's dialog manager does, a control it cannot build fails the
// whole run, before the dialog hears of a window.
TEST_F(QtHost, ATemplateWithAnUnknownControlClassIsNotRun) {
    static constexpr ControlTemplate kControls[] = {
        {7, WS_CHILD | WS_VISIBLE, u"SysListView32", u"", {0, 0, 10, 10}}};
    static constexpr DialogTemplate kBroken = {
        1, u"x", {0, 0, 50, 50}, kShellDialogFont, 9, WS_POPUP | WS_CAPTION, kControls, 1};
    dialog.opened = [](Window&) { ADD_FAILURE() << "the dialog was opened"; };
    EXPECT_EQ(windows.RunModal(kBroken, dialog), -1);
}

// Enter is IDOK even on the focused button, which it does not press (on
// Windows it does); Escape and the close request are IDCANCEL; the signals
// are the commands they stand for.
TEST_F(QtHost, KeysTheCloseRequestAndSignalsBecomeTheDialogsCommands) {
    const qt::SignalCommands signalCommands(windows, {{SIGUSR1, IDC_EXIT}, {SIGTERM, IDCANCEL}});
    ASSERT_TRUE(signalCommands.Installed());
    const struct {
        const char* name;
        Qt::Key key;  // Key_unknown: the window is closed, or sent the signal
        int signal;
        int command;
    } rows[] = {
        {"Enter", Qt::Key_Return, 0, IDOK},
        {"Escape", Qt::Key_Escape, 0, IDCANCEL},
        {"close", Qt::Key_unknown, 0, IDCANCEL},
        {"SIGUSR1", Qt::Key_unknown, SIGUSR1, IDC_EXIT},
        {"SIGTERM", Qt::Key_unknown, SIGTERM, IDCANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScriptedDialog scripted;
        // Once the window is shown and its modal loop runs, as a person acts.
        scripted.opened = [&](Window&) {
            QTimer::singleShot(0, [&] {
                QtDialogWindow& window = *windows.ActiveWindow();
                window.Control(IDC_START)->setFocus();
                if (row.signal != 0) {
                    EXPECT_EQ(std::raise(row.signal), 0);
                } else if (row.key == Qt::Key_unknown) {
                    window.close();
                } else {
                    QTest::keyClick(window.Control(IDC_START), row.key);
                }
            });
        };
        scripted.endOnCommand = 5;
        EXPECT_EQ(windows.RunModal(kMainDialogTemplate, scripted), 5);
        EXPECT_EQ(scripted.commands, (std::vector<std::pair<int, int>>{{row.command, BN_CLICKED}}));
        EXPECT_EQ(scripted.destroyed, 1);
    }
}

TEST_F(QtHost, TheEngineTimerNeverPilesUpBehindASlowTick) {
    test::ExpectPacedWithoutPileUp(windows);
}

}  // namespace
}  // namespace vardel::test

// Offscreen unless a platform is named. Listing the cases for ctest needs no
// application, whose start would put Qt's notes into the build's output.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
