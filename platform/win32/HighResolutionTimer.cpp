// Apart from the paced timer, so that a program that only pauses (the serial
// wait of vardel-flash) does not link the multimedia timer's library, which
// loads user32.
#include "platform/win32/PacedTimer.h"

namespace vardel::win32 {
namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803 and later): a timer
// that keeps a period below the system's clock interval even without
// timeBeginPeriod. Older systems refuse it.
constexpr DWORD kHighResolution = 0x00000002;

}  // namespace

UniqueHandle HighResolutionTimer() {
    return UniqueHandle(
        ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS));
}

}  // namespace vardel::win32
