// A window timer faster than SetTimer allows. SetTimer does not go below
// USER_TIMER_MINIMUM (10 ms), so a 5 ms timer would tick 100 times a second.
// This one is a periodic waitable timer, of high resolution where the system
// grants it and under timeBeginPeriod(1) where it does not: the modal
// loop waits on its handle together with the window's message queue, and
// delivers a tick when the queue is empty, as the system delivers WM_TIMER
// after every other message. Being an auto-reset timer, it holds at most one
// tick however many periods pass while a tick is handled: that one comes
// right after, and no pile-up follows.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include "platform/win32/UniqueHandle.h"

namespace vardel::win32 {

// A waitable timer that keeps periods below the system's clock interval
// (Windows 10 1803 and later); not valid where the system refuses it.
UniqueHandle HighResolutionTimer();

class PacedTimer {
public:
    PacedTimer(UINT_PTR id, DWORD periodMs);
    ~PacedTimer();
    PacedTimer(const PacedTimer&) = delete;
    PacedTimer& operator=(const PacedTimer&) = delete;

    [[nodiscard]] bool Running() const { return running_; }
    [[nodiscard]] UINT_PTR Id() const { return id_; }
    // Signalled when a tick is due; a wait on it takes the tick.
    [[nodiscard]] HANDLE Handle() const { return timer_.Get(); }

private:
    UINT_PTR id_;
    bool periodRaised_ = false;
    bool running_ = false;
    UniqueHandle timer_;
};

}  // namespace vardel::win32
