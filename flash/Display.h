// Between the units and the screen: units hand their events over and go on at
// once; the display's own thread draws them. A screen that cannot be written
// (a terminal paused with Ctrl-S, a console whose window is being selected in,
// a pipe nobody reads) holds back only that thread, never a unit. Meanwhile
// only the progress of a unit is folded into its latest; every other event
// is kept, in order, and shown when the screen takes text again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "flash/Screens.h"

namespace vardel::flash {

class Display {
public:
    explicit Display(std::unique_ptr<Screen> screen);
    // Ends the thread once everything handed over is drawn (see Close).
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // None of these waits on the screen.
    void Report(std::size_t unit, const UnitEvent& event);
    void Notice(const std::string& text);
    void Error(const std::string& text);

    // Hands the summary over (none without results, unless `summarize`: a
    // station's, of its slots) and waits until the screen has drawn everything,
    // or until giveUp() says so (asked every few milliseconds). False when it
    // gave up: the thread is then blocked in a write, and only the process's
    // end takes it away.
    template <typename GiveUp>
    bool Close(const std::vector<UnitResult>& results, GiveUp giveUp, bool summarize = false);

private:
    struct Item {
        enum class Kind { Unit, Notice, Error, Summary };
        Kind kind = Kind::Unit;
        std::size_t unit = 0;
        UnitEvent event;
        std::string text;
        std::vector<UnitResult> results;
    };
    static constexpr auto kIdleAfter = std::chrono::milliseconds(100);
    static constexpr auto kLookEvery = std::chrono::milliseconds(10);

    void Push(Item item);
    void FlushProgressLocked(std::size_t unit);
    void Run();
    bool WaitDrawn(std::chrono::milliseconds within);

    std::unique_ptr<Screen> screen_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable drawn_;
    std::deque<Item> queue_;
    // Each unit's latest progress not yet queued: newer than all of its
    // queued events, as each other event of the unit queues it first.
    std::vector<std::optional<UnitEvent>> progress_;
    bool closing_ = false;
    bool finished_ = false;
    std::thread thread_;
};

template <typename GiveUp>
bool Display::Close(const std::vector<UnitResult>& results, GiveUp giveUp, bool summarize) {
    if (summarize || !results.empty()) {
        Item summary;
        summary.kind = Item::Kind::Summary;
        summary.results = results;
        Push(std::move(summary));
    }
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    wake_.notify_one();
    while (!WaitDrawn(kLookEvery)) {
        if (giveUp()) {
            thread_.detach();
            return false;
        }
    }
    thread_.join();
    return true;
}

}  // namespace vardel::flash
