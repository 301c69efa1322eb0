// The clock, memory and the navigation program.
#include <algorithm>
#include <new>

#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

namespace vardel::win32 {

namespace {

constexpr SIZE_T kMostMemory = 0xFFFFFFFFu;

}  // namespace

// Milliseconds since the system started; wraps after 49.7 days, as the poll
// window expects.
std::uint32_t Win32Platform::TickCount() { return ::GetTickCount(); }

// A 64-bit MEMORYSTATUS holds the full figure; it is saturated to 32 bits,
// as the 32-bit record of the design reports it.
std::uint32_t Win32Platform::TotalPhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    ::GlobalMemoryStatus(&status);
    return static_cast<std::uint32_t>(std::min(status.dwTotalPhys, kMostMemory));
}

std::uint8_t* Win32Platform::Allocate(std::size_t size) {
    return new (std::nothrow) std::uint8_t[size];
}

void Win32Platform::Free(std::uint8_t* block) { delete[] block; }

namespace {

// user32 is loaded when the navigation program is first looked for, not at
// start: the system sends a console program its log-off and shutdown events
// only while user32 is not loaded, and vardel-flash, which never looks, needs
// them. The dialog program has user32 loaded anyway.
template <typename Function>
Function FromUser32(Function /*type*/, const char* name) {
    // Loaded for the rest of the process, as a program that imports it would be.
    const HMODULE user32 = ::LoadLibraryW(L"user32.dll");
    const FARPROC found = user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
    // Through the type that matches every function, as the system's own headers advise.
    // cppcheck-suppress resourceLeak
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

ProgramHandle Win32Platform::FindProgram(const char16_t* name) {
    static const auto findWindow = FromUser32(&::FindWindowW, "FindWindowW");
    if (name == nullptr || findWindow == nullptr) {
        return 0;
    }
    return reinterpret_cast<ProgramHandle>(findWindow(Wide(name), nullptr));
}

void Win32Platform::AskProgramToQuit(ProgramHandle program) {
    static const auto postMessage = FromUser32(&::PostMessageW, "PostMessageW");
    if (postMessage != nullptr) {
        static_cast<void>(postMessage(AsWindow(program), WM_QUIT, 0, 0));
    }
}

}  // namespace vardel::win32
