#include "flash/Displays.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>

#include "flash/Summary.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

std::string Ended(const UnitResult& result) {
    std::string line = OutcomeName(result.outcome);
    if (!result.reason.empty()) line += ": " + result.reason;
    return line;
}

// Plain lines for logs and scripts: no carriage return, no escape sequence.
class PlainDisplay final : public Display {
public:
    using Display::Display;

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        const UnitState& now = state_[unit];
        std::string line;
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
        case UnitEvent::Kind::Finished:
            line = Ended(event.result);
            break;
        }
        const bool error = event.kind == UnitEvent::Kind::Finished &&
                           event.result.outcome != Outcome::Completed &&
                           event.result.outcome != Outcome::Ready;
        if (!quiet_ || error) std::cout << now.port << ": " << line << std::endl;
    }
    void ShowNotice(const std::string& text) override {
        std::cerr << "vardel-flash: " << text << std::endl;
    }
    void ShowSummary(const std::vector<UnitResult>& results) override {
        std::cout << SummaryTable(Ports(), results) << std::flush;
    }
};

// One line per unit, rewritten in place; lines that stay (a unit's end, a
// notice) are written above them.
class LiveDisplay final : public Display {
public:
    LiveDisplay(std::vector<std::string> ports, bool quiet) : Display(std::move(ports), quiet) {
        for (const auto& unit : state_) portWidth_ = std::max(portWidth_, unit.port.size());
        std::cout << kNoWrap << std::flush;
    }
    ~LiveDisplay() override { std::cout << kWrap << std::flush; }
    LiveDisplay(const LiveDisplay&) = delete;
    LiveDisplay& operator=(const LiveDisplay&) = delete;

private:
    // Lines longer than the terminal are cut, not wrapped, so that each unit
    // keeps one row and the cursor knows where the rows are.
    static constexpr const char* kNoWrap = "\x1b[?7l";
    static constexpr const char* kWrap = "\x1b[?7h";
    static constexpr const char* kClearToEnd = "\x1b[K";
    static constexpr int kBarWidth = 24;
    static constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

    void Show(std::size_t unit, const UnitEvent& event, const UnitState& /*previous*/) override {
        if (event.kind == UnitEvent::Kind::Finished) {
            const bool error =
                event.result.outcome == Outcome::Failed || event.result.outcome == Outcome::Stopped;
            if (!quiet_ || error) Above(state_[unit].port + ": " + Ended(event.result));
            return;
        }
        if (quiet_) return;
        const bool paced = event.kind == UnitEvent::Kind::Progress;
        if (paced && std::chrono::steady_clock::now() - drawnAt_ < kRedrawEvery) return;
        Redraw();
    }
    void ShowNotice(const std::string& text) override { Above("vardel-flash: " + text); }
    void ShowSummary(const std::vector<UnitResult>& results) override {
        if (!quiet_) Redraw();
        std::cout << SummaryTable(Ports(), results) << std::flush;
    }

    void Above(const std::string& line) {
        Rewind();
        std::cout << line << kClearToEnd << '\n';
        if (!quiet_) Redraw(false);
        std::cout << std::flush;
    }
    void Rewind() {
        if (drawn_ > 0) std::cout << "\x1b[" << drawn_ << 'F';
        drawn_ = 0;
    }
    void Redraw(bool rewind = true) {
        if (rewind) Rewind();
        for (const auto& unit : state_) std::cout << Line(unit) << kClearToEnd << '\n';
        drawn_ = state_.size();
        drawnAt_ = std::chrono::steady_clock::now();
        std::cout << std::flush;
    }
    [[nodiscard]] std::string Line(const UnitState& unit) const {
        std::string line = unit.port + std::string(portWidth_ - unit.port.size(), ' ') + " [";
        const int filled = std::clamp(unit.percent, 0, 100) * kBarWidth / 100;
        line += std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] ";
        const std::string percent = std::to_string(unit.percent) + "%";
        line += std::string(percent.size() < 4 ? 4 - percent.size() : 0, ' ') + percent;
        line += unit.block ? "  block " + std::to_string(*unit.block) : "";
        line += "  Step = " + std::to_string(unit.step) + "  ";
        return line + (unit.result ? Ended(*unit.result) : unit.text);
    }

    std::size_t portWidth_ = 0;
    std::size_t drawn_ = 0;
    std::chrono::steady_clock::time_point drawnAt_;
};

// Every line one JSON object: the port, the event and its fields.
class JsonDisplay final : public Display {
public:
    using Display::Display;

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        nlohmann::json line = {{"port", state_[unit].port}};
        switch (event.kind) {
        case UnitEvent::Kind::Status:
            line["event"] = "status";
            line["text"] = event.text;
            break;
        case UnitEvent::Kind::Step:
            line["event"] = "step";
            line["step"] = event.step;
            break;
        case UnitEvent::Kind::Progress:
            if (previous.block && event.percent == previous.percent) return;
            line["event"] = "progress";
            line["percent"] = event.percent;
            if (event.block) line["block"] = *event.block;
            break;
        case UnitEvent::Kind::Finished:
            line = Result(state_[unit].port, event.result, "result");
            break;
        }
        const bool error =
            event.kind == UnitEvent::Kind::Finished &&
            (event.result.outcome == Outcome::Failed || event.result.outcome == Outcome::Stopped);
        if (!quiet_ || error) Write(line);
    }
    void ShowNotice(const std::string& text) override {
        Write({{"port", nullptr}, {"event", "notice"}, {"text", text}});
    }
    void ShowSummary(const std::vector<UnitResult>& results) override {
        for (std::size_t i = 0; i < results.size() && i < state_.size(); ++i) {
            Write(Result(state_[i].port, results[i], "summary"));
        }
    }

    static nlohmann::json Result(const std::string& port, const UnitResult& result,
                                 const char* event) {
        nlohmann::json line = {{"port", port},
                               {"event", event},
                               {"result", OutcomeName(result.outcome)},
                               {"blocks", result.blocks},
                               {"seconds", result.seconds},
                               {"bytes_per_second", result.BytesPerSecond()}};
        if (!result.reason.empty()) line["reason"] = result.reason;
        return line;
    }
    // A text that is not valid UTF-8 is shown with U+FFFD, never refused.
    static void Write(const nlohmann::json& line) {
        std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << std::endl;
    }
};

}  // namespace

Display::Display(std::vector<std::string> ports, bool quiet) : quiet_(quiet) {
    for (auto& port : ports) state_.push_back(UnitState{std::move(port), {}, 0, 0, {}, {}});
}

std::vector<std::string> Display::Ports() const {
    std::vector<std::string> ports;
    ports.reserve(state_.size());
    for (const auto& unit : state_) ports.push_back(unit.port);
    return ports;
}

void Display::Report(std::size_t unit, const UnitEvent& event) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (unit >= state_.size()) return;
    const UnitState previous = state_[unit];
    UnitState& now = state_[unit];
    switch (event.kind) {
    case UnitEvent::Kind::Status:
        now.text = event.text;
        break;
    case UnitEvent::Kind::Step:
        now.step = event.step;
        break;
    case UnitEvent::Kind::Progress:
        now.percent = event.percent;
        now.block = event.block;
        break;
    case UnitEvent::Kind::Finished:
        now.result = event.result;
        break;
    }
    Show(unit, event, previous);
}

void Display::Notice(const std::string& text) {
    const std::lock_guard<std::mutex> hold(lock_);
    ShowNotice(text);
}

void Display::Summary(const std::vector<UnitResult>& results) {
    const std::lock_guard<std::mutex> hold(lock_);
    ShowSummary(results);
}

std::unique_ptr<Display> MakeDisplay(Output output, const std::vector<std::string>& ports,
                                     bool quiet) {
    switch (output) {
    case Output::Terminal:
        return std::make_unique<LiveDisplay>(ports, quiet);
    case Output::Json:
        return std::make_unique<JsonDisplay>(ports, quiet);
    case Output::Plain:
        break;
    }
    return std::make_unique<PlainDisplay>(ports, quiet);
}

}  // namespace vardel::flash
