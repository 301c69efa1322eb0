#include "flash/Display.h"

namespace vardel::flash {

Display::Display(std::unique_ptr<Screen> screen) : screen_(std::move(screen)) {
    thread_ = std::thread([this] { Run(); });
}

Display::~Display() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Display::Report(std::size_t unit, const UnitEvent& event) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (progress_.size() <= unit) progress_.resize(unit + 1);
        if (event.kind == UnitEvent::Kind::Progress) {
            progress_[unit] = event;
        } else {
            FlushProgressLocked(unit);
            queue_.push_back({Item::Kind::Unit, unit, event, {}, {}});
        }
    }
    wake_.notify_one();
}

void Display::Notice(const std::string& text) { Push({Item::Kind::Notice, 0, {}, text, {}}); }

void Display::Error(const std::string& text) { Push({Item::Kind::Error, 0, {}, text, {}}); }

void Display::Push(Item item) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        // The summary comes after every unit's last progress.
        if (item.kind == Item::Kind::Summary) {
            for (std::size_t unit = 0; unit < progress_.size(); ++unit) FlushProgressLocked(unit);
        }
        queue_.push_back(std::move(item));
    }
    wake_.notify_one();
}

void Display::FlushProgressLocked(std::size_t unit) {
    if (unit < progress_.size() && progress_[unit]) {
        queue_.push_back({Item::Kind::Unit, unit, *progress_[unit], {}, {}});
        progress_[unit].reset();
    }
}

void Display::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        const auto pending = [this] {
            if (!queue_.empty()) return true;
            for (const auto& latest : progress_) {
                if (latest) return true;
            }
            return false;
        };
        if (!wake_.wait_for(hold, kIdleAfter, [&] { return pending() || closing_; })) {
            hold.unlock();
            screen_->Idle();
            hold.lock();
            continue;
        }
        if (!pending()) break;  // closing, and everything drawn
        for (std::size_t unit = 0; unit < progress_.size(); ++unit) FlushProgressLocked(unit);
        std::deque<Item> batch;
        batch.swap(queue_);
        hold.unlock();
        for (const Item& item : batch) {
            switch (item.kind) {
            case Item::Kind::Unit:
                screen_->Report(item.unit, item.event);
                break;
            case Item::Kind::Notice:
                screen_->Notice(item.text);
                break;
            case Item::Kind::Error:
                screen_->Error(item.text);
                break;
            case Item::Kind::Summary:
                screen_->Summary(item.results);
                break;
            }
        }
        hold.lock();
    }
    finished_ = true;
    drawn_.notify_all();
}

bool Display::WaitDrawn(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> hold(lock_);
    return drawn_.wait_for(hold, within, [this] { return finished_; });
}

}  // namespace vardel::flash
