#include "platform/win32/PacedTimer.h"

namespace vardel::win32 {

namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803 and later): a timer
// that keeps a period below the system's clock interval even without
// timeBeginPeriod. Older systems refuse it, and the plain timer is used.
constexpr DWORD kHighResolution = 0x00000002;
constexpr LONGLONG kHundredNsPerMs = 10000;
constexpr UINT kFinestPeriodMs = 1;

HANDLE CreatePeriodTimer() {
    HANDLE timer = ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
    if (timer == nullptr) {
        timer = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    return timer;
}

// Input or painting waiting in this thread's queue.
bool UserIsWaiting() { return HIWORD(::GetQueueStatus(QS_INPUT | QS_PAINT)) != 0; }

}  // namespace

PacedTimer::PacedTimer(HWND window, UINT_PTR id, DWORD periodMs)
    : window_(window),
      id_(id),
      timer_(CreatePeriodTimer()),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!timer_.Valid() || !stop_.Valid()) {
        return;
    }
    periodRaised_ = ::timeBeginPeriod(kFinestPeriodMs) == TIMERR_NOERROR;
    LARGE_INTEGER firstDue{};
    firstDue.QuadPart = -static_cast<LONGLONG>(periodMs) * kHundredNsPerMs;  // relative
    if (::SetWaitableTimer(timer_.Get(), &firstDue, static_cast<LONG>(periodMs), nullptr, nullptr,
                           FALSE) == FALSE) {
        return;
    }
    thread_ = UniqueHandle(::CreateThread(nullptr, 0, &PacedTimer::ThreadMain, this, 0, nullptr));
    if (thread_.Valid()) {
        // It does almost nothing when it wakes, but it must wake on time.
        ::SetThreadPriority(thread_.Get(), THREAD_PRIORITY_HIGHEST);
    }
}

PacedTimer::~PacedTimer() {
    if (thread_.Valid()) {
        ::SetEvent(stop_.Get());
        ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
    if (timer_.Valid()) {
        ::CancelWaitableTimer(timer_.Get());
    }
    if (periodRaised_) {
        ::timeEndPeriod(kFinestPeriodMs);
    }
}

DWORD WINAPI PacedTimer::ThreadMain(void* self) {
    static_cast<PacedTimer*>(self)->Pace();
    return 0;
}

void PacedTimer::Pace() {
    const HANDLE wakers[] = {stop_.Get(), timer_.Get()};
    while (::WaitForMultipleObjects(2, wakers, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (waiting_.exchange(true)) {
            owed_ = true;
        } else {
            Post();
        }
    }
}

void PacedTimer::Post() {
    if (::PostMessageW(window_, WM_TIMER, id_, 0) == FALSE) {
        waiting_ = false;
    }
}

void PacedTimer::Handled() {
    waiting_ = false;
    if (owed_.exchange(false) && !UserIsWaiting() && !waiting_.exchange(true)) {
        Post();
    }
}

}  // namespace vardel::win32
