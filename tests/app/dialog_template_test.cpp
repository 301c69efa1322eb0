// The template IDD_MAIN as the window system finds it among the resources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/resources/Resource.h"
#include "app/resources/Resources.h"
#include "platform/DialogTemplate.h"
#include "platform/Window.h"

namespace vardel {
namespace {

const DialogTemplate& Main() {
    const DialogTemplate* found = FindDialogTemplate(IDD_MAIN);
    EXPECT_NE(found, nullptr);
    return *found;
}

bool Has(std::uint32_t style, std::uint32_t bits) { return (style & bits) == bits; }

TEST(MainTemplate, IsFoundByItsNumberOnly) {
    EXPECT_NE(FindDialogTemplate(102), nullptr);
    EXPECT_EQ(FindDialogTemplate(103), nullptr);
}

TEST(MainTemplate, IsACentredFixedDialogWithoutCloseBox) {
    const DialogTemplate& t = Main();
    EXPECT_EQ(std::u16string(t.caption), u"Vardel v4.0");
    EXPECT_EQ(t.rect.width, 455);
    EXPECT_EQ(t.rect.height, 252);
    EXPECT_EQ(std::u16string(t.fontFace), u"MS Shell Dlg");
    EXPECT_EQ(t.fontPointSize, 9);
    EXPECT_TRUE(Has(t.style, WS_CAPTION));
    EXPECT_TRUE(Has(t.style, DS_CENTER));
    EXPECT_FALSE(Has(t.style, WS_SYSMENU));
}

TEST(MainTemplate, HoldsTheFiveControlsInTabOrder) {
    const DialogTemplate& t = Main();
    std::vector<int> ids;
    for (std::size_t i = 0; i < t.controlCount; ++i) {
        ids.push_back(t.controls[i].id);
    }
    EXPECT_EQ(ids, (std::vector<int>{1000, 1002, 1003, 1005, 1006}));
}

TEST(MainTemplate, NoControlCarriesACommandOfTheDialogManagerOrTheExitCommand) {
    const DialogTemplate& t = Main();
    for (std::size_t i = 0; i < t.controlCount; ++i) {
        const int id = t.controls[i].id;
        EXPECT_NE(id, IDOK);
        EXPECT_NE(id, IDCANCEL);
        EXPECT_NE(id, IDC_EXIT);
    }
}

TEST(MainTemplate, TheStartButtonIsAnOrdinaryPushButton) {
    const ControlTemplate& button = Main().controls[0];
    EXPECT_TRUE(SameText(button.windowClass, kButtonClass));
    EXPECT_EQ(std::u16string(button.text), u"开始升级");
    EXPECT_EQ(button.style & 0x0Fu, BS_PUSHBUTTON);
    EXPECT_TRUE(Has(button.style, WS_TABSTOP));
}

TEST(MainTemplate, PlacesEachControlWhereTheLayoutHasIt) {
    struct Expected {
        int id;
        std::uint32_t style;
        const char16_t* windowClass;
        DialogUnitRect rect;
    };
    const Expected expected[] = {
        {1000, WS_CHILD | WS_VISIBLE | WS_TABSTOP, kButtonClass, {322, 157, 69, 35}},
        {1002, WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH, kProgressClass, {63, 165, 241, 23}},
        {1003, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, kStaticClass, {106, 89, 31, 14}},
        {1005, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, kStaticClass, {78, 67, 194, 16}},
        {1006, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, kStaticClass, {316, 66, 60, 16}},
    };
    const DialogTemplate& t = Main();
    ASSERT_EQ(t.controlCount, std::size(expected));
    for (std::size_t i = 0; i < t.controlCount; ++i) {
        const ControlTemplate& c = t.controls[i];
        SCOPED_TRACE(c.id);
        EXPECT_EQ(c.id, expected[i].id);
        EXPECT_TRUE(SameText(c.windowClass, expected[i].windowClass));
        EXPECT_EQ(c.rect.x, expected[i].rect.x);
        EXPECT_EQ(c.rect.y, expected[i].rect.y);
        EXPECT_EQ(c.rect.width, expected[i].rect.width);
        EXPECT_EQ(c.rect.height, expected[i].rect.height);
        EXPECT_EQ(c.style, expected[i].style);
        if (c.id != 1000) {
            EXPECT_EQ(std::u16string(c.text), u"");
        }
    }
}

}  // namespace
}  // namespace vardel
