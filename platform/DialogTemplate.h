// A dialog template: the window's caption, size, font and style, and its
// controls in creation and tab order, all in dialog units. It is plain data
// that a program keeps among its resources; the window system builds the
// window from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vardel {

// Window and control styles, with the bit values they have in dialog
// templates, so that a template reads like its resource script.
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_GROUP = 0x00020000u;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr std::uint32_t DS_SETFONT = 0x0040u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x0080u;
inline constexpr std::uint32_t DS_FIXEDSYS = 0x0008u;
inline constexpr std::uint32_t DS_CENTER = 0x0800u;
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0000u;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x0001u;
inline constexpr std::uint32_t SS_LEFT = 0x0000u;
inline constexpr std::uint32_t SS_CENTER = 0x0001u;
inline constexpr std::uint32_t SS_RIGHT = 0x0002u;
inline constexpr std::uint32_t SS_TYPEMASK = 0x001Fu;
inline constexpr std::uint32_t PBS_SMOOTH = 0x0001u;

// Window classes of the controls a template may hold.
inline constexpr char16_t kButtonClass[] = u"Button";
inline constexpr char16_t kStaticClass[] = u"Static";
inline constexpr char16_t kProgressClass[] = u"msctls_progress32";

// The face name that stands for "the system's dialog font".
inline constexpr char16_t kShellDialogFont[] = u"MS Shell Dlg";

struct DialogUnitRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    int id = 0;
    std::uint32_t style = 0;
    const char16_t* windowClass = nullptr;
    const char16_t* text = u"";
    DialogUnitRect rect;
};

struct DialogTemplate {
    int id = 0;
    const char16_t* caption = u"";
    DialogUnitRect rect;
    const char16_t* fontFace = kShellDialogFont;
    int fontPointSize = 9;
    std::uint32_t style = 0;
    const ControlTemplate* controls = nullptr;
    std::size_t controlCount = 0;
};

// Compares two zero-terminated texts; the window system picks a control's
// kind by its class name.
constexpr bool SameText(const char16_t* a, const char16_t* b) {
    while (*a != u'\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

}  // namespace vardel
