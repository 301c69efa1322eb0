// The window that the Qt host builds from the template IDD_MAIN: its frame,
// its font and geometry, its controls, and the engine timer it runs.
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QtTest>
#include <vector>

#include "platform/qt/DialogUnits.h"
#include "tests/qt/qt_window_test.h"

namespace vardel::testing {

void WindowTest::theTemplateIsLaidOutInPixelsByTheBaseUnitsOfItsFont() {
    // A quarter of the base width and an eighth of the base height per unit.
    const qt::DialogBaseUnits known{6, 13};
    QCOMPARE(qt::DialogUnitsToPixels({0, 0, 455, 252}, known), QRect(0, 0, 683, 410));
    QCOMPARE(qt::DialogUnitsToPixels({322, 157, 69, 35}, known), QRect(483, 255, 104, 57));
    QCOMPARE(qt::DialogUnitsToPixels({63, 165, 241, 23}, known), QRect(95, 268, 362, 37));
    QCOMPARE(qt::DialogUnitsToPixels({-2, -3, 0, 0}, known), QRect(-3, -5, 0, 0));

    const QFont font = qt::DialogFont(kMainDialogTemplate);
    QCOMPARE(font.pointSize(), 9);
    QVERIFY(font.families().contains(QStringLiteral("WenQuanYi Micro Hei")));
    const auto window = Build();
    const qt::DialogBaseUnits units = window->BaseUnits();
    QVERIFY2(units.width >= 4 && units.width <= 12, qPrintable(QString::number(units.width)));
    QVERIFY2(units.height >= 10 && units.height <= 24, qPrintable(QString::number(units.height)));
    QCOMPARE(window->size(), qt::DialogUnitsToPixels({0, 0, 455, 252}, units).size());
    for (const ControlTemplate& control : kMainDialogControls) {
        QCOMPARE(window->Control(control.id)->geometry(),
                 qt::DialogUnitsToPixels(control.rect, units));
    }
}

void WindowTest::theFrameHasATitleButNoCloseBoxAndAFixedSize() {
    const auto window = Build();
    const Qt::WindowFlags flags = window->windowFlags();
    QCOMPARE(window->windowTitle(), QStringLiteral("Vardel v4.0"));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->minimumSize(), window->maximumSize());
}

void WindowTest::theControlsAreBuiltInTemplateOrderAndNoneIsADefaultButton() {
    const auto window = Build();
    const QList<QWidget*> children = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 5);
    auto* button = qobject_cast<QPushButton*>(children[0]);
    QVERIFY(button != nullptr);
    QCOMPARE(button->text(), QStringLiteral("开始升级"));
    QVERIFY(!button->autoDefault() && !button->isDefault());
    QVERIFY(qobject_cast<QProgressBar*>(children[1]) != nullptr);
    for (int i = 2; i < 5; ++i) {
        auto* label = qobject_cast<QLabel*>(children[i]);
        QVERIFY(label != nullptr);
        QCOMPARE(label, window->Control(kMainDialogControls[i].id));
        QVERIFY(label->text().isEmpty());
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void WindowTest::theIconResourceHoldsAllThreeSizes() {
    const IconHandle icon = windows_.LoadIcon(128);
    QVERIFY(icon != 0);
    const QList<QSize> sizes = windows_.Icon(icon).availableSizes();
    for (const int side : {16, 32, 48}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    }
    QCOMPARE(windows_.LoadIcon(129), IconHandle{0});
}

void WindowTest::aTemplateWithAnUnknownControlClassIsNotRun() {
    static constexpr ControlTemplate kControls[] = {
        {7, WS_CHILD | WS_VISIBLE, u"SysListView32", u"", {0, 0, 10, 10}}};
    static constexpr DialogTemplate kBroken = {
        1, u"x", {0, 0, 50, 50}, kShellDialogFont, 9, WS_POPUP | WS_CAPTION, kControls, 1};
    QCOMPARE(windows_.RunModal(kBroken, messages_), -1);
    QVERIFY(messages_.opened == nullptr);
}

namespace {

// A dialog whose ticks note when they began and ended; the third holds the
// thread for twenty periods.
class TickRecorder : public DialogMessages {
public:
    int InitDialog(Window& window) override {
        window_ = &window;
        clock_.start();
        window.StartTimer(1000, 5);
        return 1;
    }
    void Timer(int /*timer*/) override {
        starts.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
        if (starts.size() == 3) QThread::msleep(100);
        ends.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
        if (starts.size() == 12) window_->EndDialog(1);
    }
    void Command(int /*id*/, int /*notification*/) override {}
    void Destroyed() override { window_ = nullptr; }

    std::vector<double> starts;  // milliseconds
    std::vector<double> ends;

private:
    Window* window_ = nullptr;
    QElapsedTimer clock_;
};

}  // namespace

void WindowTest::aSlowTickIsFollowedByOneTickNotByOneForEveryPeriodMissed() {
    TickRecorder recorder;
    QCOMPARE(windows_.RunModal(kMainDialogTemplate, recorder), 1);
    // The tick that fell due during the slow one comes once, then the period
    // starts afresh: the one after it waits for most of a period.
    const double gap = recorder.starts[4] - recorder.starts[3];
    QVERIFY2(gap >= 3.0, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
    int soonAfter = 0;
    for (const double start : recorder.starts) {
        soonAfter += (start >= recorder.ends[2] && start < recorder.ends[2] + 10.0) ? 1 : 0;
    }
    QVERIFY2(soonAfter <= 3, qPrintable(QStringLiteral("%1 ticks").arg(soonAfter)));
}

}  // namespace vardel::testing

QTEST_MAIN(vardel::testing::WindowTest)
