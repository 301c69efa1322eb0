#include "platform/win32/Win32WindowSystem.h"

#include "platform/win32/SystemHeaders.h"

#include <memory>
#include <vector>

#include "platform/win32/DialogTemplateBuilder.h"
#include "platform/win32/Win32DialogWindow.h"

namespace vardel::win32 {

namespace {

// What one modal run's dialog procedure reaches through the window.
struct ModalRun {
    DialogMessages& messages;
    std::unique_ptr<Win32DialogWindow> window;
};

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* run = reinterpret_cast<ModalRun*>(lParam);  // NOLINT(performance-no-int-to-ptr)
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        run->window = std::make_unique<Win32DialogWindow>(window, run->messages);
        return run->messages.InitDialog(*run->window) != 0 ? TRUE : FALSE;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): what WM_INITDIALOG kept there
    auto* run = reinterpret_cast<ModalRun*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (run == nullptr || !run->window) {
        return FALSE;
    }
    return run->window->Handle(message, wParam, lParam);
}

// Every message waiting, through the dialog manager. False on WM_QUIT, which
// stays posted for whoever runs the next loop, as in DialogBox.
bool HandleWaitingMessages(HWND dialog) {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (::IsDialogMessageW(dialog, &message) == FALSE) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return true;
}

// Messages first; a fast timer's tick only when none is left, as WM_TIMER.
// The wait ends on either.
int RunUntilEnded(Win32DialogWindow& window) {
    while (!window.Ended()) {
        if (!HandleWaitingMessages(window.Handle())) {
            return 0;  // DialogBox's result when WM_QUIT ends it
        }
        if (window.Ended()) {
            break;
        }
        const std::vector<HANDLE> timers = window.PacedTimerHandles();
        const DWORD woken =
            ::MsgWaitForMultipleObjectsEx(static_cast<DWORD>(timers.size()), timers.data(),
                                          INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken >= WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + timers.size()) {
            window.DeliverTick(woken - WAIT_OBJECT_0);
        }
    }
    return window.Result();
}

}  // namespace

Win32WindowSystem::Win32WindowSystem() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

IconHandle Win32WindowSystem::LoadIcon(int resource) {
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource));
    return reinterpret_cast<IconHandle>(icon);
}

// The dialog object hears of the window's end only once it is gone, with its
// timers.
int Win32WindowSystem::RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    const DialogTemplateBytes bytes(dialogTemplate);
    ModalRun run{messages, nullptr};
    HWND dialog = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), bytes.Get(), nullptr,
                                               &DialogProcedure, reinterpret_cast<LPARAM>(&run));
    if (dialog == nullptr || !run.window) {
        if (dialog != nullptr) ::DestroyWindow(dialog);
        return -1;
    }
    const int result = RunUntilEnded(*run.window);
    ::DestroyWindow(dialog);
    messages.Destroyed();
    return result;
}

}  // namespace vardel::win32
