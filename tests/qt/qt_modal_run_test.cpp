// The real main dialog in a real modal run on the Qt host, with the engine on
// the fake platform: the button, the labels and the bar as a person sees
// them, and the keys and the signal that end the run.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <csignal>

#include "app/MainDialog.h"
#include "app/StatusMailbox.h"
#include "app/resources/Resource.h"
#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtWindowSystem.h"
#include "platform/qt/SignalCommands.h"
#include "tests/engine/WireBytes.h"
#include "tests/qt/QtTestSupport.h"
#include "tests/qt/qt_modal_run_test.h"

namespace vardel::testing {
namespace {

using test::BlockRequest;
using test::ResetFrame;

QString Text(const qt::QtDialogWindow& window, int id) {
    return qobject_cast<QLabel*>(window.Control(id))->text();
}

QPushButton* StartButton(const qt::QtDialogWindow& window) {
    return qobject_cast<QPushButton*>(window.Control(IDC_START));
}

int BarValue(const qt::QtDialogWindow& window) {
    return qobject_cast<QProgressBar*>(window.Control(IDC_PROGRESS))->value();
}

// One process's worth of the program: the engine on the fake platform, the
// Qt window system, and the main dialog run modally with a scripted user.
struct Program {
    Program() {
        statusMailbox = {};
        fake.msPerTickCount = 1;
        fake.files[u"/opt/vardel/KD51A.BIN"].bytes.assign(std::size_t{1024} * 64, 0x5A);
    }

    int Run(std::function<void(qt::QtDialogWindow&)> script) {
        ScriptedUser user(std::move(script));
        windows.SetObserver(&user);
        MainDialog dialog(engine, fake, windows);
        const int result = dialog.DoModal();
        windows.SetObserver(nullptr);
        return result;
    }

    void Mcu(const std::vector<std::uint8_t>& bytes) { fake.Arrive(fake.now, bytes); }

    bool WaitForStep(const qt::QtDialogWindow& window, int step) {
        return WaitUntil(
            [&] { return Text(window, IDC_STEP) == QStringLiteral("Step = %1").arg(step); });
    }

    FakePlatform fake;
    UpgradeEngine engine{fake};
    qt::QtWindowSystem windows;
};

}  // namespace

void ModalRunTest::aUserRunsAWholeUpgradeWithTheRealButtonAndEscapeEndsWith2() {
    Program program;
    const int result = program.Run([&](qt::QtDialogWindow& window) {
        QVERIFY(window.isVisible());
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(!StartButton(window)->isEnabled());

        QVERIFY(program.WaitForStep(window, 1));
        QCOMPARE(Text(window, IDC_STATUS), QStringLiteral("串口打开成功!"));
        QVERIFY(StartButton(window)->isEnabled());
        QTest::mouseClick(StartButton(window), Qt::LeftButton);

        QVERIFY(program.WaitForStep(window, 2));
        QVERIFY(!StartButton(window)->isEnabled());
        program.Mcu(BlockRequest(0));
        QVERIFY(program.WaitForStep(window, 3));
        QCOMPARE(Text(window, IDC_STATUS), QStringLiteral("通信建立，开始传输数据!"));

        program.Mcu(BlockRequest(1));
        QVERIFY(WaitUntil([&] { return Text(window, IDC_STATUS).startsWith("正在升级"); }));
        program.Mcu(BlockRequest(1023));
        QVERIFY(WaitUntil([&] { return Text(window, IDC_PERCENT) == "228%"; }));
        QCOMPARE(BarValue(window), 100);

        program.Mcu(BlockRequest(0xFFFF));
        QVERIFY(program.WaitForStep(window, 255));
        QCOMPARE(Text(window, IDC_PERCENT), QStringLiteral("100%"));
        QCOMPARE(Text(window, IDC_STATUS), QStringLiteral("升级成功!"));
        QCOMPARE(StartButton(window)->text(), QStringLiteral("完成重启"));
        QVERIFY(StartButton(window)->isEnabled());

        const QString picture = qEnvironmentVariable("VARDEL_TEST_PICTURE");
        if (!picture.isEmpty()) {
            QVERIFY(window.grab().save(picture, "PNG"));
        }

        QTest::mouseClick(StartButton(window), Qt::LeftButton);
        QCOMPARE(program.fake.writes.back(), ResetFrame());
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    QCOMPARE(result, 2);
}

void ModalRunTest::enterOnTheFocusedButtonEndsWith1AndDoesNotPressIt() {
    Program program;
    const int result = program.Run([&](qt::QtDialogWindow& window) {
        QVERIFY(program.WaitForStep(window, 1));
        StartButton(window)->setFocus();
        QTest::keyClick(StartButton(window), Qt::Key_Return);
    });
    QCOMPARE(result, 1);
    QCOMPARE(program.engine.signal, SIGNAL_NONE);
    QVERIFY(program.fake.writes.empty());
}

void ModalRunTest::sigusr1InTheTransferWritesTheResetFrameAndEndsWith2() {
    Program program;
    qt::SignalCommands signalCommands(program.windows, {{SIGUSR1, IDC_EXIT}, {SIGTERM, IDCANCEL}});
    QVERIFY(signalCommands.Installed());
    const int result = program.Run([&](qt::QtDialogWindow& window) {
        QVERIFY(program.WaitForStep(window, 1));
        QTest::mouseClick(StartButton(window), Qt::LeftButton);
        QVERIFY(program.WaitForStep(window, 2));
        program.Mcu(BlockRequest(0));
        QVERIFY(program.WaitForStep(window, 3));
        QCOMPARE(std::raise(SIGUSR1), 0);
        QVERIFY(WaitUntil([&] { return window.Ended(); }));
    });
    QCOMPARE(result, 2);
    QCOMPARE(program.fake.writes.back(), ResetFrame());
    QCOMPARE(program.engine.GetStep(), STEP_TRANSFER);
}

void ModalRunTest::sigtermEndsWith2WithoutAResetFrame() {
    Program program;
    qt::SignalCommands signalCommands(program.windows, {{SIGUSR1, IDC_EXIT}, {SIGTERM, IDCANCEL}});
    const int result = program.Run([&](qt::QtDialogWindow& window) {
        QVERIFY(program.WaitForStep(window, 1));
        QCOMPARE(std::raise(SIGTERM), 0);
        QVERIFY(WaitUntil([&] { return window.Ended(); }));
    });
    QCOMPARE(result, 2);
    QVERIFY(program.fake.writes.empty());
}

void ModalRunTest::noTickReachesTheEngineAfterTheDialogEnded() {
    Program program;
    program.fake.portExists = false;  // every tick tries to open the port
    const int result = program.Run([&](qt::QtDialogWindow& window) {
        QVERIFY(program.WaitForStep(window, 0));
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    QCOMPARE(result, 2);
    const int opens = program.fake.openCalls;
    QVERIFY(!WaitUntil([] { return false; }, 50));
    QCOMPARE(program.fake.openCalls, opens);
}

}  // namespace vardel::testing

QTEST_MAIN(vardel::testing::ModalRunTest)
