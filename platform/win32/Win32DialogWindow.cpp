#include "platform/win32/Win32DialogWindow.h"

#include <uxtheme.h>

#include <algorithm>
#include <iterator>

#include "platform/win32/WideText.h"

namespace vardel::win32 {

namespace {

// A themed progress bar (Common Controls 6) glides towards each new position
// on a timer of its own: it shows less than the percentage beside it, and
// every step of the glide is a repaint on the one thread that must answer the
// MCU. Drawn without the theme, it shows each position at once.
BOOL CALLBACK DrawProgressBarPlain(HWND child, LPARAM /*unused*/) {
    wchar_t className[32] = {};
    if (::GetClassNameW(child, className, std::size(className)) > 0 &&
        ::lstrcmpiW(className, PROGRESS_CLASSW) == 0) {
        ::SetWindowTheme(child, L"", L"");
    }
    return TRUE;
}

}  // namespace

Win32DialogWindow::Win32DialogWindow(HWND window, DialogMessages& messages)
    : window_(window), messages_(messages) {
    ::EnumChildWindows(window_, &DrawProgressBarPlain, 0);
}

Win32DialogWindow::~Win32DialogWindow() = default;

// Once the dialog has ended, nothing more reaches it, though the window may
// still be sent messages while it goes.
INT_PTR Win32DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        return FALSE;  // and on to the default processing
    case WM_COMMAND:
        if (!ended_) messages_.Command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_ENTERSIZEMOVE:
        EnterSystemLoop(true);
        return FALSE;
    case WM_EXITSIZEMOVE:
        EnterSystemLoop(false);
        return FALSE;
    case WM_NCDESTROY:
        pacedTimers_.clear();
        return FALSE;
    default:
        return FALSE;
    }
}

std::vector<HANDLE> Win32DialogWindow::PacedTimerHandles() const {
    std::vector<HANDLE> handles;
    for (const auto& paced : pacedTimers_) handles.push_back(paced->Handle());
    return handles;
}

// The same way in as the system's WM_TIMER, default processing included.
void Win32DialogWindow::DeliverTick(std::size_t index) {
    if (index < pacedTimers_.size()) {
        ::SendMessageW(window_, WM_TIMER, pacedTimers_[index]->Id(), 0);
    }
}

// While the user moves or sizes the window, the system runs a modal loop of
// its own that never returns to ours, so the fast timers' ticks would stop
// for as long as the mouse is held. The system's timer at its least period
// stands in for each of them under the same identifier, so the ticks go on,
// one WM_TIMER at a time, until the loop ends; a tick that fell due meanwhile
// then comes once from ours.
void Win32DialogWindow::EnterSystemLoop(bool entered) {
    inSystemLoop_ = entered;
    for (const auto& paced : pacedTimers_) {
        if (entered) {
            ::SetTimer(window_, paced->Id(), USER_TIMER_MINIMUM, nullptr);
        } else {
            ::KillTimer(window_, paced->Id());
        }
    }
}

void Win32DialogWindow::OnTimer(UINT_PTR timer) {
    if (!ended_) messages_.Timer(static_cast<int>(timer));
}

void Win32DialogWindow::SetControlText(int control, const char16_t* text) {
    ::SetWindowTextW(::GetDlgItem(window_, control), Wide(text));
}

// A disabled window with the focus leaves the dialog with none, and the
// dialog manager then ignores Enter and Escape: the focus moves on first, to
// the next control that takes it, else to the dialog itself.
void Win32DialogWindow::EnableControl(int control, bool enable) {
    HWND item = ::GetDlgItem(window_, control);
    HWND focus = ::GetFocus();
    const bool losesFocus =
        !enable && item != nullptr && (focus == item || ::IsChild(item, focus) != FALSE);
    ::EnableWindow(item, enable ? TRUE : FALSE);
    if (losesFocus) {
        HWND next = ::GetNextDlgTabItem(window_, item, FALSE);
        if (next != nullptr && next != item) {
            ::SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        } else {
            ::SetFocus(window_);
        }
    }
}

void Win32DialogWindow::SetBarPosition(int control, int position) {
    ::SendMessageW(::GetDlgItem(window_, control), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32DialogWindow::StartTimer(int timer, std::uint32_t periodMs) {
    const auto id = static_cast<UINT_PTR>(timer);
    std::erase_if(pacedTimers_, [id](const auto& paced) { return paced->Id() == id; });
    if (periodMs >= USER_TIMER_MINIMUM) {
        ::SetTimer(window_, id, periodMs, nullptr);
        return;
    }
    ::KillTimer(window_, id);
    auto paced = std::make_unique<PacedTimer>(id, periodMs);
    if (paced->Running()) {
        if (inSystemLoop_) ::SetTimer(window_, id, USER_TIMER_MINIMUM, nullptr);
        pacedTimers_.push_back(std::move(paced));
    } else {
        ::SetTimer(window_, id, periodMs, nullptr);  // the system's pace at least
    }
}

void Win32DialogWindow::SetIcon(int which, IconHandle icon) {
    ::SendMessageW(window_, WM_SETICON, static_cast<WPARAM>(which), static_cast<LPARAM>(icon));
}

void Win32DialogWindow::MakeTopmost() {
    ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void Win32DialogWindow::EndDialog(int result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    pacedTimers_.clear();
}

}  // namespace vardel::win32
