#include "platform/win32/Win32WindowSystem.h"

#include "platform/win32/SystemHeaders.h"

#include <memory>

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
        auto* run = reinterpret_cast<ModalRun*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        run->window = std::make_unique<Win32DialogWindow>(window, run->messages);
        return run->messages.InitDialog(*run->window) != 0 ? TRUE : FALSE;
    }
    auto* run = reinterpret_cast<ModalRun*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (run == nullptr || !run->window) {
        return FALSE;
    }
    return run->window->Handle(message, wParam, lParam);
}

}  // namespace

Win32WindowSystem::Win32WindowSystem() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

IconHandle Win32WindowSystem::LoadIcon(int resource) {
    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource));
    return reinterpret_cast<IconHandle>(icon);
}

// The dialog object hears of the window's end only once the modal run is
// over: by then the window and its timers are gone.
int Win32WindowSystem::RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    const DialogTemplateBytes bytes(dialogTemplate);
    ModalRun run{messages, nullptr};
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), bytes.Get(), nullptr,
                                  &DialogProcedure, reinterpret_cast<LPARAM>(&run));
    if (run.window) {
        messages.Destroyed();
    }
    return static_cast<int>(result);
}

}  // namespace vardel::win32
