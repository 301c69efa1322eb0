#include "platform/win32/Win32DialogWindow.h"

#include <algorithm>

#include "platform/win32/WideText.h"

namespace vardel::win32 {

Win32DialogWindow::Win32DialogWindow(HWND window, DialogMessages& messages)
    : window_(window), messages_(messages) {}

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

void Win32DialogWindow::OnTimer(UINT_PTR timer) {
    if (!ended_) messages_.Timer(static_cast<int>(timer));
}

void Win32DialogWindow::SetControlText(int control, const char16_t* text) {
    ::SetWindowTextW(::GetDlgItem(window_, control), Wide(text));
}

void Win32DialogWindow::EnableControl(int control, bool enable) {
    ::EnableWindow(::GetDlgItem(window_, control), enable ? TRUE : FALSE);
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
