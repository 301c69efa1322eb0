// The Windows window host: the template IDD_MAIN built by the system's dialog
// manager, its messages mapped onto the dialog object's, the 5 ms timer, and
// the main dialog running on it.
#include <gtest/gtest.h>

#include "platform/win32/SystemHeaders.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/StatusMailbox.h"
#include "app/resources/MainDialogTemplate.h"
#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "platform/win32/Win32DialogWindow.h"
#include "platform/win32/Win32WindowSystem.h"

namespace vardel {
namespace {

using win32::Win32DialogWindow;

constexpr int kTimer = 1000;
// Ends a dialog that a case left open, so that a failure cannot hang the run.
constexpr int kWatchdog = 77;
constexpr UINT kWatchdogMs = 10000;
constexpr int kWatchdogEnded = -2;

// A dialog object whose every message runs a step of the test.
class ScriptedDialog : public DialogMessages {
public:
    std::function<void(HWND, Window&)> opened;
    std::function<void(HWND, Window&, int)> timer;
    std::function<void(HWND, Window&, int, int)> command;
    std::vector<std::pair<int, int>> commands;
    int timersAfterEnd = 0;
    int destroyed = 0;

    int InitDialog(Window& window) override {
        window_ = &window;
        handle_ = dynamic_cast<Win32DialogWindow&>(window).Handle();
        ::SetTimer(handle_, kWatchdog, kWatchdogMs, nullptr);
        if (opened) opened(handle_, window);
        return 1;
    }
    void Timer(int id) override {
        if (id == kWatchdog) return End(kWatchdogEnded);
        if (ended_) ++timersAfterEnd;
        if (timer) timer(handle_, *window_, id);
    }
    void Command(int id, int notification) override {
        commands.emplace_back(id, notification);
        if (command) command(handle_, *window_, id, notification);
    }
    void Destroyed() override { ++destroyed; }
    void End(int result) {
        ended_ = true;
        window_->EndDialog(result);
    }

private:
    Window* window_ = nullptr;
    HWND handle_ = nullptr;
    bool ended_ = false;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[260] = {};
    ::GetWindowTextW(window, text, 260);
    return text;
}

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

class Win32Window : public ::testing::Test {
protected:
    win32::Win32WindowSystem windows;
    ScriptedDialog dialog;

    int Run() { return windows.RunModal(kMainDialogTemplate, dialog); }
};

TEST_F(Win32Window, TheTemplateBecomesTheSystemsOwnDialogUnitForUnit) {
    dialog.opened = [&](HWND window, Window&) {
        EXPECT_EQ(TextOf(window), L"Vardel v4.0");
        EXPECT_EQ(ClassOf(window), L"#32770");
        const LONG style = ::GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
        EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
        RECT frame{0, 0, 455, 252};
        ::MapDialogRect(window, &frame);
        RECT client{};
        ::GetClientRect(window, &client);
        EXPECT_EQ(client.right, frame.right);
        EXPECT_EQ(client.bottom, frame.bottom);

        HWND tabStop = ::GetNextDlgTabItem(window, nullptr, FALSE);
        for (const ControlTemplate& control : kMainDialogControls) {
            SCOPED_TRACE(control.id);
            HWND item = ::GetDlgItem(window, control.id);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(_wcsicmp(ClassOf(item).c_str(), Wide(control.windowClass)), 0);
            // WS_BORDER is the system's to draw: as an edge, or the control's own.
            const auto itemStyle = static_cast<std::uint32_t>(::GetWindowLongW(item, GWL_STYLE));
            const std::uint32_t asked = control.style & ~WS_BORDER;
            EXPECT_EQ(itemStyle & asked, asked);
            EXPECT_EQ(TextOf(item), Wide(control.text));
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
        EXPECT_EQ(tabStop, ::GetDlgItem(window, IDC_START)) << "the button is the one tab stop";
        HWND button = ::GetDlgItem(window, IDC_START);
        EXPECT_EQ(::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, 0)
            << "not the default button";
        PBRANGE range{};
        ::SendMessageW(::GetDlgItem(window, IDC_PROGRESS), PBM_GETRANGE, FALSE,
                       reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 100);
        dialog.End(1);
    };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(dialog.destroyed, 1);
}

TEST_F(Win32Window, WhatTheDialogAsksReachesTheControls) {
    const IconHandle icon = windows.LoadIcon(IDR_MAINFRAME);
    dialog.opened = [&](HWND window, Window& host) {
        host.SetControlText(IDC_STATUS, u"串口打开成功!");
        EXPECT_EQ(TextOf(::GetDlgItem(window, IDC_STATUS)), L"串口打开成功!");
        HWND bar = ::GetDlgItem(window, IDC_PROGRESS);
        for (const auto& [position, shown] : {std::pair{45, 45}, {228, 100}, {-5, 0}}) {
            host.SetBarPosition(IDC_PROGRESS, position);
            EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), shown) << position;
        }
        host.EnableControl(IDC_START, false);
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_START)));
        host.EnableControl(IDC_START, true);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_START)));
        host.SetIcon(ICON_BIG, icon);
        EXPECT_EQ(::SendMessageW(window, WM_GETICON, ICON_BIG, 0), icon);
        host.MakeTopmost();
        EXPECT_NE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        dialog.End(2);
    };
    EXPECT_NE(icon, 0) << "the program's icon resource";
    EXPECT_EQ(Run(), 2);
}

// The dialog manager turns keys and the close request into commands; the
// window only passes them on. Enter gives IDOK, unless the focus was moved to
// the button (Tab, a click): then Enter presses the button.
TEST_F(Win32Window, EnterEscapeAndCloseBecomeTheDialogManagersCommands) {
    struct Row {
        const char* name;
        WPARAM key;
        std::pair<int, int> command;
        UINT message;
        bool tabToButton;
    };
    const Row rows[] = {
        {"Enter", VK_RETURN, {IDOK, BN_CLICKED}, WM_KEYDOWN, false},
        {"Escape", VK_ESCAPE, {IDCANCEL, BN_CLICKED}, WM_KEYDOWN, false},
        {"close", 0, {IDCANCEL, BN_CLICKED}, WM_CLOSE, false},
        {"Enter on the button", VK_RETURN, {IDC_START, BN_CLICKED}, WM_KEYDOWN, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedDialog scripted;
        scripted.opened = [&](HWND window, Window& host) {
            // As the main dialog opens: the button disabled, until the port is open.
            host.EnableControl(IDC_START, row.tabToButton);
            if (row.tabToButton) {
                ::SendMessageW(window, WM_NEXTDLGCTL,
                               reinterpret_cast<WPARAM>(::GetDlgItem(window, IDC_START)), TRUE);
            }
            // Keys go to the window with the focus, the close request to the frame.
            HWND focus = ::GetFocus();
            const bool key = row.message == WM_KEYDOWN && focus != nullptr;
            ::PostMessageW(key ? focus : window, row.message, row.key, 0);
        };
        scripted.command = [&](HWND, Window&, int, int) { scripted.End(5); };
        EXPECT_EQ(windows.RunModal(kMainDialogTemplate, scripted), 5);
        EXPECT_EQ(scripted.commands, (std::vector<std::pair<int, int>>{row.command}));
    }
}

// 5 ms is below what SetTimer does; the host's own timer keeps it, never
// piles up behind a long tick, and ends with the window.
TEST_F(Win32Window, TheFiveMillisecondTimerTicks200TimesASecondAndNeverPilesUp) {
    std::vector<ULONGLONG> ticks;
    ULONGLONG longTickEnded = 0;
    dialog.opened = [&](HWND, Window& host) { host.StartTimer(kTimer, 5); };
    dialog.timer = [&](HWND, Window&, int id) {
        ASSERT_EQ(id, kTimer);
        ticks.push_back(::GetTickCount64());
        if (ticks.size() == 250) {
            ::Sleep(200);  // a poll window held open
            longTickEnded = ::GetTickCount64();
        }
        if (ticks.size() == 300) dialog.End(1);
    };
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Run(), 1);
    ::Sleep(50);
    const double firstSecond = static_cast<double>(
        std::count_if(ticks.begin(), ticks.end(), [&](ULONGLONG at) { return at < start + 1000; }));
    EXPECT_GE(firstSecond, 180) << "a busy machine may lose a few";
    EXPECT_LE(firstSecond, 202);
    // One tick for the 40 periods missed, then the next period's, not 40.
    const auto rightAfter = std::count_if(ticks.begin(), ticks.end(), [&](ULONGLONG at) {
        return at >= longTickEnded && at < longTickEnded + 5;
    });
    EXPECT_LE(rightAfter, 2);
    EXPECT_EQ(dialog.timersAfterEnd, 0);
}

// The real dialog with the engine on the fake platform: the ticks drive the
// engine, and the exit command 1001 from another thread writes the reset
// frame and ends the dialog with 2.
TEST_F(Win32Window, TheMainDialogTicksOpensThePortAndEndsOnTheExitCommand) {
    statusMailbox = {};
    FakePlatform fake;
    UpgradeEngine engine(fake);
    MainDialog mainDialog(engine, fake, windows);
    HANDLE sender = ::CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            for (int i = 0; i < 1000; ++i) {
                HWND window = ::FindWindowW(L"#32770", L"Vardel v4.0");
                if (window != nullptr && TextOf(::GetDlgItem(window, IDC_STEP)) == L"Step = 1" &&
                    ::IsWindowEnabled(::GetDlgItem(window, IDC_START)) != FALSE) {
                    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
                    return 0;
                }
                ::Sleep(10);
            }
            return 1;
        },
        nullptr, 0, nullptr);
    EXPECT_EQ(mainDialog.DoModal(), IDCANCEL);
    ::WaitForSingleObject(sender, INFINITE);
    DWORD found = 1;
    ::GetExitCodeThread(sender, &found);
    ::CloseHandle(sender);
    EXPECT_EQ(found, 0u) << "the window showed Step = 1 with its button enabled";
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].size(), 69u);
    EXPECT_EQ(fake.writes[0][2], 'R');
}

}  // namespace
}  // namespace vardel
