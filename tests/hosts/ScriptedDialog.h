// For the tests of both window hosts (Qt, Win32): a dialog whose messages run
// the steps of a test, and the engine timer's pace measured through it. Plain
// C++ over the window interface.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "app/resources/MainDialogTemplate.h"
#include "platform/Window.h"

namespace vardel::test {

// A watchdog timer ends a run that a failed step left open, with -2, so that
// a failure never hangs the suite.
class ScriptedDialog : public DialogMessages {
public:
    std::function<void(Window&)> opened;
    std::function<void(int timer)> timer;
    int endOnCommand = 0;                       // the result a command ends the run with
    std::vector<std::pair<int, int>> commands;  // identifier, notification
    int timersAfterEnd = 0;
    int destroyed = 0;

    int InitDialog(Window& window) override {
        window_ = &window;
        window.StartTimer(kWatchdog, 10000);
        if (opened) opened(window);
        return 1;
    }
    void Timer(int id) override {
        if (ended_) {
            ++timersAfterEnd;
        } else if (id == kWatchdog) {
            End(-2);
        } else if (timer) {
            timer(id);
        }
    }
    void Command(int id, int notification) override {
        commands.emplace_back(id, notification);
        if (endOnCommand != 0) End(endOnCommand);
    }
    void Destroyed() override { ++destroyed; }

    void End(int result) {
        ended_ = true;
        window_->EndDialog(result);
    }

private:
    static constexpr int kWatchdog = 77;
    Window* window_ = nullptr;
    bool ended_ = false;
};

// The engine's timer, 1000 every 5 ms, on IDD_MAIN for 300 ticks; the 250th
// holds the thread for 200 ms, as a poll window held open does. Never more
// than 200 ticks a second; after the slow tick one tick for all the periods
// it missed, then the next period's, not one for each; none after the end.
// Returns the ticks of the first second.
inline std::ptrdiff_t ExpectPacedWithoutPileUp(WindowSystem& windows) {
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> ticks;
    ScriptedDialog dialog;
    dialog.opened = [](Window& window) { window.StartTimer(1000, 5); };
    dialog.timer = [&](int id) {
        EXPECT_EQ(id, 1000);
        ticks.push_back(Clock::now());
        const Clock::time_point slowUntil = ticks.back() + std::chrono::milliseconds(200);
        while (ticks.size() == 250 && Clock::now() < slowUntil) {
        }
        if (ticks.size() == 300) dialog.End(1);
    };
    EXPECT_EQ(windows.RunModal(kMainDialogTemplate, dialog), 1);
    EXPECT_EQ(dialog.timersAfterEnd, 0);
    if (ticks.size() != 300) return 0;
    const auto within = [&](Clock::time_point from, int ms) {
        return std::count_if(ticks.begin(), ticks.end(), [&](Clock::time_point at) {
            return at >= from && at < from + std::chrono::milliseconds(ms);
        });
    };
    EXPECT_LE(within(ticks.front(), 1000), 202);
    EXPECT_LE(within(ticks[250], 10), 3) << "after the slow tick";
    return within(ticks.front(), 1000);
}

}  // namespace vardel::test
