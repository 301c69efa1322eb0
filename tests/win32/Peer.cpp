// win32_peer: the other programs that the Windows platform's tests need.
//   win32_peer navigation CLASS  a navigation program: a top-level window of
//                                that class; ends with status 0 when it is
//                                sent WM_QUIT, with 3 after 30 s without
//   win32_peer hold FILE         holds FILE open without sharing for 30 s
// Each says "ready" on standard output once it is in place.
#include <string>

#include "tools/win32/ConsoleText.h"

namespace {

constexpr UINT kLifetimeMs = 30000;
constexpr int kNeverAsked = 3;
constexpr int kUsageError = 2;

LRESULT CALLBACK NavigationWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) ::PostQuitMessage(kNeverAsked);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// GetMessageW returns 0 on WM_QUIT: from PostQuitMessage (the time is up)
// or from another program's PostMessageW (asked to quit), whose wParam is 0.
int Navigate(const wchar_t* className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = NavigationWindow;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, className, L"navigation", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                    100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) return kUsageError;
    ::SetTimer(window, 1, kLifetimeMs, nullptr);
    vardel::win32::Say("ready");
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return static_cast<int>(message.wParam);
}

int Hold(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kUsageError;
    vardel::win32::Say("ready");
    ::Sleep(kLifetimeMs);
    ::CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc == 3 ? argv[1] : L"";
    if (mode == L"navigation") return Navigate(argv[2]);
    if (mode == L"hold") return Hold(argv[2]);
    return kUsageError;
}
