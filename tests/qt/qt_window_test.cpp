// The window that the Qt host builds from the template IDD_MAIN: its frame,
// its font and geometry, its controls and what they do when the dialog asks.
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "platform/qt/DialogUnits.h"
#include "tests/qt/qt_window_test.h"

namespace vardel::testing {

void WindowTest::dialogUnitsScaleByAQuarterAndAnEighthOfTheBaseUnits() {
    const qt::DialogBaseUnits units{6, 13};
    QCOMPARE(qt::DialogUnitsToPixels({0, 0, 455, 252}, units), QRect(0, 0, 683, 410));
    QCOMPARE(qt::DialogUnitsToPixels({322, 157, 69, 35}, units), QRect(483, 255, 104, 57));
    QCOMPARE(qt::DialogUnitsToPixels({63, 165, 241, 23}, units), QRect(95, 268, 362, 37));
    QCOMPARE(qt::DialogUnitsToPixels({-2, -3, 0, 0}, units), QRect(-3, -5, 0, 0));
}

void WindowTest::theFontIsTheSansSerifFaceAt9PointsWithAChineseFace() {
    const QFont font = qt::DialogFont(kMainDialogTemplate);
    QCOMPARE(font.pointSize(), 9);
    QVERIFY(font.families().contains(QStringLiteral("WenQuanYi Micro Hei")));
    QCOMPARE(font.styleHint(), QFont::SansSerif);
    const qt::DialogBaseUnits units = qt::BaseUnitsOf(font);
    QVERIFY2(units.width >= 4 && units.width <= 12, qPrintable(QString::number(units.width)));
    QVERIFY2(units.height >= 10 && units.height <= 24, qPrintable(QString::number(units.height)));
}

void WindowTest::theWindowAndItsControlsAreWhereTheTemplatePutsThem() {
    const auto window = Build();
    const qt::DialogBaseUnits units = window->BaseUnits();
    QCOMPARE(units.width, qt::BaseUnitsOf(window->font()).width);
    QCOMPARE(window->size(), qt::DialogUnitsToPixels({0, 0, 455, 252}, units).size());
    for (const ControlTemplate& control : kMainDialogControls) {
        QWidget* widget = window->Control(control.id);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->geometry(), qt::DialogUnitsToPixels(control.rect, units));
    }
}

void WindowTest::theFrameHasATitleButNoCloseBoxAndAFixedSize() {
    const auto window = Build();
    const Qt::WindowFlags flags = window->windowFlags();
    QCOMPARE(window->windowTitle(), QStringLiteral("Vardel v4.0"));
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window->minimumSize(), window->maximumSize());
}

void WindowTest::theControlsAreBuiltInTemplateOrder() {
    const auto window = Build();
    const QList<QWidget*> children = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 5);
    QVERIFY(qobject_cast<QPushButton*>(children[0]) != nullptr);
    QVERIFY(qobject_cast<QProgressBar*>(children[1]) != nullptr);
    QCOMPARE(children[2], window->Control(1003));
    QCOMPARE(children[3], window->Control(1005));
    QCOMPARE(children[4], window->Control(1006));
}

void WindowTest::theStartButtonIsNotADefaultButton() {
    const auto window = Build();
    auto* button = qobject_cast<QPushButton*>(window->Control(1000));
    QVERIFY(button != nullptr);
    QCOMPARE(button->text(), QStringLiteral("开始升级"));
    QVERIFY(!button->autoDefault());
    QVERIFY(!button->isDefault());
    QVERIFY(button->focusPolicy() & Qt::TabFocus);
}

void WindowTest::theLabelsAreEmptyLeftAlignedPlainText() {
    const auto window = Build();
    for (const int id : {1003, 1005, 1006}) {
        auto* label = qobject_cast<QLabel*>(window->Control(id));
        if (label == nullptr) {
            QFAIL("not a label");
        }
        QVERIFY(label->text().isEmpty());
        QVERIFY(label->alignment() & Qt::AlignLeft);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void WindowTest::theBarRunsFrom0To100WithoutTextAndClampsItsPosition() {
    const auto window = Build();
    auto* bar = qobject_cast<QProgressBar*>(window->Control(1002));
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isTextVisible());
    window->SetBarPosition(1002, 45);
    QCOMPARE(bar->value(), 45);
    window->SetBarPosition(1002, 228);
    QCOMPARE(bar->value(), 100);
    window->SetBarPosition(1002, -3);
    QCOMPARE(bar->value(), 0);
}

void WindowTest::textsAndEnablingReachTheControls() {
    const auto window = Build();
    window->SetControlText(1005, u"正在升级......, 请稍后, 不要断电!!!");
    window->SetControlText(1000, u"完成重启");
    window->EnableControl(1000, false);
    const auto* status = qobject_cast<QLabel*>(window->Control(1005));
    const auto* button = qobject_cast<QPushButton*>(window->Control(1000));
    if (status == nullptr || button == nullptr) {
        QFAIL("controls missing");
    }
    QCOMPARE(status->text(), QStringLiteral("正在升级......, 请稍后, 不要断电!!!"));
    QCOMPARE(button->text(), QStringLiteral("完成重启"));
    QVERIFY(!button->isEnabled());
    window->SetControlText(4711, u"nowhere");  // no such control: nothing happens
}

void WindowTest::topmostIsAskedForByTheDialog() {
    const auto window = Build();
    window->MakeTopmost();
    QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

void WindowTest::theIconResourceHoldsAllThreeSizes() {
    const IconHandle icon = windows_.LoadIcon(128);
    QVERIFY(icon != 0);
    const QList<QSize> sizes = windows_.Icon(icon).availableSizes();
    for (const int side : {16, 32, 48}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    }
    QCOMPARE(windows_.LoadIcon(129), IconHandle{0});
    QVERIFY(windows_.Icon(0).isNull());
}

void WindowTest::theWindowIconComesFromTheResource() {
    const auto window = Build();
    window->SetIcon(ICON_BIG, windows_.LoadIcon(128));
    QVERIFY(window->windowIcon().availableSizes().contains(QSize(48, 48)));
}

void WindowTest::aTemplateWithAnUnknownControlClassIsNotRun() {
    static constexpr ControlTemplate kControls[] = {
        {7, WS_CHILD | WS_VISIBLE, u"SysListView32", u"", {0, 0, 10, 10}}};
    static constexpr DialogTemplate kBroken = {
        1, u"x", {0, 0, 50, 50}, kShellDialogFont, 9, WS_POPUP | WS_CAPTION, kControls, 1};
    QCOMPARE(windows_.RunModal(kBroken, messages_), -1);
    QVERIFY(messages_.opened == nullptr);
}

}  // namespace vardel::testing

QTEST_MAIN(vardel::testing::WindowTest)
