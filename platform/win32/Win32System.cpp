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

ProgramHandle Win32Platform::FindProgram(const char16_t* name) {
    if (name == nullptr) {
        return 0;
    }
    return reinterpret_cast<ProgramHandle>(::FindWindowW(Wide(name), nullptr));
}

void Win32Platform::AskProgramToQuit(ProgramHandle program) {
    static_cast<void>(::PostMessageW(AsWindow(program), WM_QUIT, 0, 0));
}

}  // namespace vardel::win32
