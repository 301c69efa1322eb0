// The template IDD_MAIN: the program's one window, in dialog units of its
// 9-point font. The controls are listed in creation order, which is also the
// tab order.
#pragma once

#include <iterator>

#include "app/resources/Resource.h"
#include "platform/DialogTemplate.h"

namespace vardel {

inline constexpr std::uint32_t kLabelStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;

inline constexpr ControlTemplate kMainDialogControls[] = {
    {IDC_START,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
     kButtonClass,
     u"开始升级",
     {322, 157, 69, 35}},
    {IDC_PROGRESS,
     WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
     kProgressClass,
     u"",
     {63, 165, 241, 23}},
    {IDC_PERCENT, kLabelStyle, kStaticClass, u"", {106, 89, 31, 14}},
    {IDC_STATUS, kLabelStyle, kStaticClass, u"", {78, 67, 194, 16}},
    {IDC_STEP, kLabelStyle, kStaticClass, u"", {316, 66, 60, 16}},
};

// No WS_SYSMENU: the title bar has no system menu and no close box, and
// nothing resizes, minimises or maximises the window.
inline constexpr DialogTemplate kMainDialogTemplate = {
    IDD_MAIN,
    u"Vardel v4.0",
    {0, 0, 455, 252},
    kShellDialogFont,
    9,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS,
    kMainDialogControls,
    std::size(kMainDialogControls),
};

}  // namespace vardel
