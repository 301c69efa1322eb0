// A window timer faster than SetTimer allows. SetTimer does not go below
// USER_TIMER_MINIMUM (10 ms), so a 5 ms timer would tick 100 times a second.
// This one keeps the period with a waitable timer under timeBeginPeriod(1): a
// thread of its own wakes every period and posts WM_TIMER with the timer's
// identifier to the window, which handles it on the window's thread.
//
// Like a system timer it never leaves more than one message waiting, and it
// does not push ahead of the user: while a tick's message waits or is being
// handled, no other is posted. A period that falls due meanwhile is delivered
// once, right after the tick that held it up, unless input or painting is
// waiting by then; those go first, and the next period brings the tick.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <atomic>
#include <cstdint>

#include "platform/win32/UniqueHandle.h"

namespace vardel::win32 {

class PacedTimer {
public:
    PacedTimer(HWND window, UINT_PTR id, DWORD periodMs);
    // Stops the thread and the timer; no message is posted after this.
    ~PacedTimer();
    PacedTimer(const PacedTimer&) = delete;
    PacedTimer& operator=(const PacedTimer&) = delete;

    [[nodiscard]] bool Running() const { return thread_.Valid(); }
    [[nodiscard]] UINT_PTR Id() const { return id_; }
    // On the window's thread, once a tick's message has been handled.
    void Handled();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Pace();
    void Post();

    HWND window_;
    UINT_PTR id_;
    bool periodRaised_ = false;
    UniqueHandle timer_;
    UniqueHandle stop_;
    UniqueHandle thread_;
    std::atomic<bool> waiting_{false};  // a message is posted and not yet handled
    std::atomic<bool> owed_{false};     // a period fell due while one was waiting
};

}  // namespace vardel::win32
