// win32_peer CLASS FILE: another program for the Windows platform's tests, a
// navigation program that holds the firmware file: FILE open without sharing,
// then a top-level window of that class. It ends with status 0 when it is
// sent WM_QUIT.
#include "platform/win32/SystemHeaders.h"

#include "platform/win32/UniqueHandle.h"

int wmain(int argc, wchar_t** argv) {
    constexpr int kUsageError = 2;
    if (argc != 3) return kUsageError;
    const vardel::win32::UniqueHandle file(
        ::CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = argv[1];
    ::RegisterClassW(&windowClass);
    if (!file.Valid() ||
        ::CreateWindowExW(0, argv[1], L"navigation", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                          nullptr, windowClass.hInstance, nullptr) == nullptr) {
        return kUsageError;
    }
    // GetMessageW returns 0 on WM_QUIT, whose wParam another program's
    // PostMessageW leaves 0.
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return static_cast<int>(message.wParam);
}
