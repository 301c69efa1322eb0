// The Windows window host: the template IDD_MAIN built by the system's dialog
// manager, what the dialog asks of its window, the dialog manager's commands
// and the 5 ms timer.
#include <gtest/gtest.h>

#include "platform/win32/SystemHeaders.h"

#include <string>
#include <utility>
#include <vector>

#include "app/resources/MainDialogTemplate.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32DialogWindow.h"
#include "platform/win32/Win32WindowSystem.h"
#include "tests/hosts/ScriptedDialog.h"

namespace vardel::test {
namespace {

using win32::Wide;

HWND HandleOf(Window& window) { return dynamic_cast<win32::Win32DialogWindow&>(window).Handle(); }

// A window's class name or text, as read(window, buffer, size) gives it.
std::wstring Read(int(WINAPI* read)(HWND, LPWSTR, int), HWND window) {
    wchar_t text[260] = {};
    read(window, text, 260);
    return text;
}

class Win32Window : public ::testing::Test {
protected:
    win32::Win32WindowSystem windows;
    test::ScriptedDialog dialog;
};

TEST_F(Win32Window, TheTemplateBecomesTheSystemsOwnDialogUnitForUnitThatDoesAsTheDialogAsks) {
    const IconHandle icon = windows.LoadIcon(IDR_MAINFRAME);
    EXPECT_NE(icon, 0) << "the program's icon resource";
    dialog.opened = [&](Window& host) {
        HWND window = HandleOf(host);
        EXPECT_EQ(Read(::GetWindowTextW, window), L"Vardel v4.0");
        EXPECT_EQ(Read(::GetClassNameW, window), L"#32770");
        const LONG style = ::GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
        EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
        RECT frame{0, 0, 455, 252};
        ::MapDialogRect(window, &frame);
        RECT client{};
        ::GetClientRect(window, &client);
        EXPECT_EQ(client.right, frame.right);
        EXPECT_EQ(client.bottom, frame.bottom);

        for (const ControlTemplate& control : kMainDialogControls) {
            SCOPED_TRACE(control.id);
            HWND item = ::GetDlgItem(window, control.id);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(_wcsicmp(Read(::GetClassNameW, item).c_str(), Wide(control.windowClass)), 0);
            // WS_BORDER is the system's to draw: as an edge, or the control's own.
            const auto itemStyle = static_cast<std::uint32_t>(::GetWindowLongW(item, GWL_STYLE));
            const std::uint32_t asked = control.style & ~WS_BORDER;
            EXPECT_EQ(itemStyle & asked, asked);
            EXPECT_EQ(Read(::GetWindowTextW, item), Wide(control.text));
            // The place and the size are each mapped from dialog units.
            RECT mapped{control.rect.x, control.rect.y, control.rect.width, control.rect.height};
            ::MapDialogRect(window, &mapped);
            RECT placed{};
            ::GetWindowRect(item, &placed);
            ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
            EXPECT_EQ(placed.left, mapped.left);
            EXPECT_EQ(placed.top, mapped.top);
            EXPECT_EQ(placed.right - placed.left, mapped.right);
            EXPECT_EQ(placed.bottom - placed.top, mapped.bottom);
        }
        HWND button = ::GetDlgItem(window, IDC_START);
        EXPECT_EQ(::GetNextDlgTabItem(window, nullptr, FALSE), button) << "the one tab stop";
        EXPECT_EQ(::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, 0)
            << "not the default button";

        // The bar keeps its range of 0 to 100, which clamps the position.
        for (const auto& [position, shown] : {std::pair{45, 45}, {228, 100}, {-5, 0}}) {
            host.SetBarPosition(IDC_PROGRESS, position);
            EXPECT_EQ(::SendMessageW(::GetDlgItem(window, IDC_PROGRESS), PBM_GETPOS, 0, 0), shown);
        }
        host.EnableControl(IDC_START, false);
        EXPECT_FALSE(::IsWindowEnabled(button));
        host.SetIcon(ICON_BIG, icon);
        EXPECT_EQ(::SendMessageW(window, WM_GETICON, ICON_BIG, 0), icon);
        host.MakeTopmost();
        EXPECT_NE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        dialog.End(1);
    };
    EXPECT_EQ(windows.RunModal(kMainDialogTemplate, dialog), 1);
    EXPECT_EQ(dialog.destroyed, 1);
}

// The dialog manager turns keys and the close request into commands; the
// window only passes them on. Enter gives IDOK, unless the focus was moved to
// the button (Tab, a click): then Enter presses the button. A button disabled
// with the focus (as after a press of start) hands it on, and the keys keep
// working.
TEST_F(Win32Window, EnterEscapeAndCloseBecomeTheDialogManagersCommands) {
    const struct {
        const char* name;
        WPARAM key;  // 0: the close request
        bool tabToButton;
        bool thenDisable;
        int command;
    } rows[] = {
        {"Enter", VK_RETURN, false, false, IDOK},
        {"Escape", VK_ESCAPE, false, false, IDCANCEL},
        {"close", 0, false, false, IDCANCEL},
        {"Enter on the button", VK_RETURN, true, false, IDC_START},
        {"Enter after the button with the focus is disabled", VK_RETURN, true, true, IDOK},
        {"Escape after the button with the focus is disabled", VK_ESCAPE, true, true, IDCANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScriptedDialog scripted;
        scripted.opened = [&](Window& host) {
            HWND window = HandleOf(host);
            // As the main dialog opens: the button disabled, until the port is open.
            host.EnableControl(IDC_START, row.tabToButton);
            if (row.tabToButton) {
                ::SendMessageW(window, WM_NEXTDLGCTL,
                               reinterpret_cast<WPARAM>(::GetDlgItem(window, IDC_START)), TRUE);
            }
            if (row.thenDisable) {
                host.EnableControl(IDC_START, false);
                EXPECT_NE(::GetFocus(), nullptr) << "the focus left on a disabled window";
            }
            // Keys go to the window with the focus, the close request to the frame.
            HWND focus = ::GetFocus();
            const UINT message = row.key == 0 ? WM_CLOSE : WM_KEYDOWN;
            ::PostMessageW(row.key != 0 && focus != nullptr ? focus : window, message, row.key, 0);
        };
        scripted.endOnCommand = 5;
        EXPECT_EQ(windows.RunModal(kMainDialogTemplate, scripted), 5);
        EXPECT_EQ(scripted.commands, (std::vector<std::pair<int, int>>{{row.command, BN_CLICKED}}));
    }
}

// 5 ms is below what SetTimer does; the host's own timer keeps it.
TEST_F(Win32Window, TheEngineTimerTicks200TimesASecondAndNeverPilesUp) {
    EXPECT_GE(test::ExpectPacedWithoutPileUp(windows), 180) << "a busy machine may lose a few";
}

}  // namespace
}  // namespace vardel::test
