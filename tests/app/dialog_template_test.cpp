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

TEST(MainTemplate, IsACentredDialogCaptionedVardelWithoutACloseBox) {
    EXPECT_EQ(FindDialogTemplate(103), nullptr);
    const DialogTemplate* t = FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::u16string(t->caption), u"Vardel v4.0");
    EXPECT_EQ(t->style & (WS_CAPTION | DS_CENTER | WS_SYSMENU), WS_CAPTION | DS_CENTER);
}

// No control may carry the dialog manager's OK (1) or cancel (2), or 1001.
TEST(MainTemplate, HoldsTheFiveControlsInTabOrderBeginningWithAPlainStartButton) {
    const DialogTemplate* t = FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(t, nullptr);
    std::vector<int> ids;
    for (std::size_t i = 0; i < t->controlCount; ++i) ids.push_back(t->controls[i].id);
    EXPECT_EQ(ids, (std::vector<int>{1000, 1002, 1003, 1005, 1006}));
    const ControlTemplate& button = t->controls[0];
    EXPECT_TRUE(SameText(button.windowClass, kButtonClass));
    EXPECT_EQ(std::u16string(button.text), u"开始升级");
    EXPECT_EQ(button.style & 0x0Fu, BS_PUSHBUTTON);
}

}  // namespace
}  // namespace vardel
