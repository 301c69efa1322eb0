// A dialog window of the system's dialog manager. Its dialog procedure hands
// WM_INITDIALOG, WM_TIMER and WM_COMMAND to the dialog object as its
// messages, and it carries out on the window what the dialog object asks.
// Enter, Escape, the close request, focus and tab order are the dialog
// manager's own.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <memory>
#include <vector>

#include "platform/Window.h"
#include "platform/win32/PacedTimer.h"

namespace vardel::win32 {

class Win32DialogWindow final : public Window {
public:
    Win32DialogWindow(HWND window, DialogMessages& messages);
    ~Win32DialogWindow() override;
    Win32DialogWindow(const Win32DialogWindow&) = delete;
    Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

    [[nodiscard]] HWND Handle() const { return window_; }
    // A message to the dialog procedure; the result is the procedure's.
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // The timers below SetTimer's least period, for the modal loop to wait
    // on; DeliverTick hands the tick of the one at that index to the dialog.
    [[nodiscard]] std::vector<HANDLE> PacedTimerHandles() const;
    void DeliverTick(std::size_t index);

    [[nodiscard]] bool Ended() const { return ended_; }
    [[nodiscard]] int Result() const { return result_; }

    void SetControlText(int control, const char16_t* text) override;
    // A control that is disabled with the focus hands it on first.
    void EnableControl(int control, bool enable) override;
    void SetBarPosition(int control, int position) override;
    // Below USER_TIMER_MINIMUM the timer is a PacedTimer, else SetTimer's.
    void StartTimer(int timer, std::uint32_t periodMs) override;
    void SetIcon(int which, IconHandle icon) override;
    void MakeTopmost() override;
    // The modal loop ends once the current message has been handled.
    void EndDialog(int result) override;

private:
    void OnTimer(UINT_PTR timer);
    // WM_ENTERSIZEMOVE (true) and WM_EXITSIZEMOVE (false).
    void EnterSystemLoop(bool entered);

    HWND window_;
    DialogMessages& messages_;
    bool ended_ = false;
    bool inSystemLoop_ = false;
    int result_ = 0;
    std::vector<std::unique_ptr<PacedTimer>> pacedTimers_;
};

}  // namespace vardel::win32
