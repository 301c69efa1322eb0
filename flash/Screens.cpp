#include "flash/Screens.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "flash/ScreenParts.h"
#include "flash/Summary.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

// Plain lines for logs and scripts: no carriage return, no escape sequence.
class PlainScreen final : public Screen {
public:
    using Screen::Screen;
    void Notice(const std::string& text) override {
        std::cerr << "vardel-flash: " << text << std::endl;
    }
    void Error(const std::string& text) override { Notice(text); }
    void Summary(const std::vector<UnitResult>& results) override {
        std::cout << (IsStation() ? SlotTable() : SummaryTable(Ports(), results)) << std::flush;
    }

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        std::string line = SlotLine(event).value_or("");
        switch (event.kind) {
        case UnitEvent::Kind::Status:
            line = event.text;
            break;
        case UnitEvent::Kind::Step:
            line = "Step = " + std::to_string(event.step);
            break;
        case UnitEvent::Kind::Progress:
            if (previous.block && event.percent == previous.percent) return;
            line = std::to_string(event.percent) + "%";
            if (event.block) line += " (block " + std::to_string(*event.block) + ")";
            break;
        case UnitEvent::Kind::PortLost:
            line = LostLine(event);
            break;
        case UnitEvent::Kind::PortBack:
            line = kBackLine;
            break;
        case UnitEvent::Kind::Finished:
            line = Ended(event.result);
            if (IsStation()) line += state_[unit].inUse ? kInUseAfter : "; " + SlotCounts(unit);
            break;
        default:
            break;
        }
        if (!quiet_ || IsBadEnd(event)) std::cout << state_[unit].port << ": " << line << std::endl;
    }
};

// Two screens, each told everything; the second's trouble is told on the
// first.
class TwoScreens final : public Screen {
public:
    TwoScreens(std::unique_ptr<Screen> first, std::unique_ptr<Screen> second)
        : Screen({}, {}), first_(std::move(first)), second_(std::move(second)) {}
    void Notice(const std::string& text) override {
        Both([&](Screen& s) { s.Notice(text); });
    }
    void Error(const std::string& text) override {
        Both([&](Screen& s) { s.Error(text); });
    }
    void Summary(const std::vector<UnitResult>& results) override {
        Both([&](Screen& s) { s.Summary(results); });
    }
    void Idle() override { first_->Idle(); }
    void Report(std::size_t unit, const UnitEvent& event) override {
        Both([&](Screen& s) { s.Report(unit, event); });
    }

private:
    void Show(std::size_t, const UnitEvent&, const UnitState&) override {}
    template <typename Call>
    void Both(Call call) {
        call(*first_);
        call(*second_);
        if (const std::string trouble = second_->TakeTrouble(); !trouble.empty()) {
            first_->Notice(trouble);
        }
    }

    std::unique_ptr<Screen> first_;
    std::unique_ptr<Screen> second_;
};

}  // namespace

bool IsBadEnd(const UnitEvent& event) {
    if (event.kind == UnitEvent::Kind::Status) return event.error;
    if (event.kind == UnitEvent::Kind::PortLost || event.kind == UnitEvent::Kind::PortBack) {
        return true;
    }
    return event.kind == UnitEvent::Kind::Finished &&
           (event.result.outcome == Outcome::Failed || event.result.outcome == Outcome::Stopped);
}

std::string Ended(const UnitResult& result) {
    std::string line = OutcomeName(result.outcome);
    if (!result.reason.empty()) line += ": " + result.reason;
    return line;
}

Screen::Screen(std::vector<std::string> ports, ScreenSetup setup)
    : quiet_(setup.quiet), station_(std::move(setup.station)) {
    for (auto& port : ports) state_.push_back(Fresh(std::move(port)));
}

std::vector<std::string> Screen::Ports() const {
    std::vector<std::string> ports;
    ports.reserve(state_.size());
    for (const auto& unit : state_) ports.push_back(unit.port);
    return ports;
}

namespace {
std::string CountsText(std::uint32_t passed, std::uint32_t failed) {
    return std::to_string(passed) + " passed, " + std::to_string(failed) + " failed";
}
}  // namespace

std::string Screen::Counts() const {
    std::uint32_t passed = 0;
    std::uint32_t failed = 0;
    for (const auto& slot : state_) {
        passed += slot.passed;
        failed += slot.failed;
    }
    return CountsText(passed, failed);
}

std::string Screen::SlotCounts(std::size_t slot) const {
    return CountsText(state_[slot].passed, state_[slot].failed);
}

std::string Screen::SlotTable() const {
    int width = 4;  // "PORT"
    for (const auto& slot : state_) width = std::max(width, static_cast<int>(slot.port.size()));
    char row[512];
    (void)std::snprintf(row, sizeof row, "%-*s  %6s  %6s  %s\n", width, "PORT", "PASSED", "FAILED",
                        "LAST");
    std::string table = row;
    for (const auto& slot : state_) {
        (void)std::snprintf(row, sizeof row, "%-*s  %6u  %6u  ", width, slot.port.c_str(),
                            slot.passed, slot.failed);
        table += row + (slot.result ? Ended(*slot.result) : std::string("-")) + "\n";
    }
    return table + "station: " + Counts() + "\n";
}

void Screen::Report(std::size_t unit, const UnitEvent& event) {
    if (event.kind == UnitEvent::Kind::Appeared && unit == state_.size()) {
        state_.push_back(Fresh(event.text));
    }
    if (unit >= state_.size()) return;
    const UnitState previous = state_[unit];
    UnitState& now = state_[unit];
    switch (event.kind) {
    case UnitEvent::Kind::Status:
        now.text = event.text;
        break;
    case UnitEvent::Kind::Step:
        now.step = event.step;
        now.inUse = false;  // the port opened
        break;
    case UnitEvent::Kind::Progress:
        now.percent = event.percent;
        now.block = event.block;
        break;
    case UnitEvent::Kind::PortLost:
    case UnitEvent::Kind::PortBack:
        now.lost = event.kind == UnitEvent::Kind::PortLost;
        break;
    case UnitEvent::Kind::Finished:
        now.result = event.result;
        if (IsStation() && event.result.portInUse) {
            now.inUse = true;
            if (previous.inUse) return;  // still in use: told already
            break;
        }
        if (IsStation()) ++(event.result.outcome == Outcome::Completed ? now.passed : now.failed);
        break;
    case UnitEvent::Kind::Appeared:
    case UnitEvent::Kind::Gone:
    case UnitEvent::Kind::Waiting:
        now.gone = event.kind == UnitEvent::Kind::Gone;
        now.waiting = event.kind == UnitEvent::Kind::Waiting;
        break;
    case UnitEvent::Kind::Start:
        now = Fresh(now.port);
        now.sequence = event.sequence;
        now.passed = previous.passed;
        now.failed = previous.failed;
        // A port in use tried again: nothing new to tell until it opens.
        now.inUse = previous.inUse;
        if (now.inUse) return;
        break;
    }
    Show(unit, event, previous);
}

Output ChooseOutput(const Options& options) {
    if (options.json) return Output::Json;
    return StandardOutputIsTerminal() ? Output::Terminal : Output::Plain;
}

std::unique_ptr<Screen> MakeScreen(Output output, const std::vector<std::string>& ports,
                                   const ScreenSetup& setup) {
    switch (output) {
    case Output::Terminal:
        return MakeLiveScreen(ports, setup);
    case Output::Json:
        return MakeJsonScreen(ports, setup);
    case Output::Plain:
        break;
    }
    return std::make_unique<PlainScreen>(ports, setup);
}

std::unique_ptr<Screen> BothScreens(std::unique_ptr<Screen> first, std::unique_ptr<Screen> second) {
    return std::make_unique<TwoScreens>(std::move(first), std::move(second));
}

}  // namespace vardel::flash
