#include "platform/win32/PacedTimer.h"

namespace vardel::win32 {

namespace {

constexpr LONGLONG kHundredNsPerMs = 10000;
constexpr UINT kFinestPeriodMs = 1;

}  // namespace

// Without the high-resolution timer the plain one keeps 5 ms only while the
// system's clock runs at 1 ms; that raises it for the whole system (on
// Windows before 10 2004), so it is done only then.
PacedTimer::PacedTimer(UINT_PTR id, DWORD periodMs) : id_(id), timer_(HighResolutionTimer()) {
    if (!timer_.Valid()) {
        timer_ = UniqueHandle(::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
        if (!timer_.Valid()) {
            return;
        }
        periodRaised_ = ::timeBeginPeriod(kFinestPeriodMs) == TIMERR_NOERROR;
    }
    LARGE_INTEGER firstDue{};
    firstDue.QuadPart = -static_cast<LONGLONG>(periodMs) * kHundredNsPerMs;  // relative
    running_ = ::SetWaitableTimer(timer_.Get(), &firstDue, static_cast<LONG>(periodMs), nullptr,
                                  nullptr, FALSE) != FALSE;
}

PacedTimer::~PacedTimer() {
    if (running_) {
        ::CancelWaitableTimer(timer_.Get());
    }
    if (periodRaised_) {
        ::timeEndPeriod(kFinestPeriodMs);
    }
}

}  // namespace vardel::win32
