#include "flash/Screens.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "flash/Summary.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

std::string LostLine(const UnitEvent& event) {
    return "the port went away" +
           (event.block ? " at block " + std::to_string(*event.block) : std::string()) +
           "; waiting for it to come back";
}
constexpr const char* kBackLine = "the port is back; answering the MCU again";

// Plain lines for logs and scripts: no carriage return, no escape sequence.
class PlainScreen final : public Screen {
public:
    using Screen::Screen;
    void Notice(const std::string& text) override {
        std::cerr << "vardel-flash: " << text << std::endl;
    }
    void Error(const std::string& text) override { Notice(text); }
    void Summary(const std::vector<UnitResult>& results) override {
        std::cout << SummaryTable(Ports(), results) << std::flush;
    }

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
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
        case UnitEvent::Kind::PortLost:
            line = LostLine(event);
            break;
        case UnitEvent::Kind::PortBack:
            line = kBackLine;
            break;
        case UnitEvent::Kind::Finished:
            line = Ended(event.result);
            break;
        }
        if (!quiet_ || IsBadEnd(event)) std::cout << state_[unit].port << ": " << line << std::endl;
    }
};

// The columns a UTF-8 text takes on a terminal: the East Asian wide letters
// (the engine's texts are Chinese) take two.
bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The longest start of text that fits in `columns`, cut between letters.
std::string FitColumns(const std::string& text, int columns) {
    int used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = lead;
        if (length > 1) {
            c = lead & (0xFF >> (length + 1));
            for (std::size_t i = 1; i < length && at + i < text.size(); ++i) {
                c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
            }
        }
        const int width = IsWide(c) ? 2 : 1;
        if (used + width > columns) break;
        used += width;
        at += length;
    }
    return text.substr(0, std::min(at, text.size()));
}

// One line per unit, rewritten in place, as many as the terminal has rows
// for; lines that stay (a unit's end, a notice) are written above them, whole.
class LiveScreen final : public Screen {
public:
    LiveScreen(std::vector<std::string> ports, bool quiet) : Screen(std::move(ports), quiet) {
        for (const auto& unit : state_) portWidth_ = std::max(portWidth_, unit.port.size());
    }
    void Notice(const std::string& text) override { Above("vardel-flash: " + text); }
    void Error(const std::string& text) override { Notice(text); }
    void Summary(const std::vector<UnitResult>& results) override {
        if (!quiet_) Redraw();
        std::cout << SummaryTable(Ports(), results) << std::flush;
    }
    void Idle() override {
        if (!quiet_ && (stale_ || Size() != drawnSize_)) Redraw();
    }

private:
    static constexpr const char* kClearToEnd = "\x1b[K";
    static constexpr int kBarWidth = 24;
    static constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

    void Show(std::size_t unit, const UnitEvent& event, const UnitState& /*previous*/) override {
        const std::string& port = state_[unit].port;
        if (event.kind == UnitEvent::Kind::Finished) {
            if (!quiet_ || IsBadEnd(event)) Above(port + ": " + Ended(event.result));
            return;
        }
        if (event.kind == UnitEvent::Kind::PortLost) return Above(port + ": " + LostLine(event));
        if (event.kind == UnitEvent::Kind::PortBack) return Above(port + ": " + kBackLine);
        if (IsBadEnd(event)) return Above(port + ": " + event.text);
        if (quiet_) return;
        stale_ = true;
        const bool paced = event.kind == UnitEvent::Kind::Progress;
        if (paced && std::chrono::steady_clock::now() - drawnAt_ < kRedrawEvery) return;
        Redraw();
    }

    static std::pair<int, int> Size() { return {TerminalColumns(), TerminalRows()}; }

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
    // The lines fit the terminal: each cut to its width, so that it never
    // wraps, and no more than its rows but one; the units beyond them are
    // summed up in the last line.
    void Redraw(bool rewind = true) {
        if (rewind) Rewind();
        drawnSize_ = Size();
        const auto [columns, rows] = drawnSize_;
        const std::size_t room = rows > 1 ? static_cast<std::size_t>(rows - 1) : 1;
        const std::size_t shown = state_.size() <= room ? state_.size() : room - 1;
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < shown; ++i) lines.push_back(Line(state_[i]));
        if (shown < state_.size()) lines.push_back(Rest(shown));
        for (const auto& line : lines) {
            std::cout << FitColumns(line, columns - 1) << kClearToEnd << '\n';
        }
        drawn_ = lines.size();
        drawnAt_ = std::chrono::steady_clock::now();
        stale_ = false;
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
        if (unit.result) return line + Ended(*unit.result);
        return line + (unit.lost ? "waiting for the port to come back" : unit.text);
    }
    // "and 12 more: 10 flashing, 2 failed"
    [[nodiscard]] std::string Rest(std::size_t from) const {
        std::map<std::string, int> counts;
        for (std::size_t i = from; i < state_.size(); ++i) {
            const UnitState& unit = state_[i];
            ++counts[unit.result ? OutcomeName(unit.result->outcome)
                                 : unit.lost ? "waiting for their port" : "flashing"];
        }
        std::string line = "and " + std::to_string(state_.size() - from) + " more:";
        const char* separator = " ";
        for (const auto& [state, count] : counts) {
            line += separator + std::to_string(count) + " " + state;
            separator = ", ";
        }
        return line;
    }

    std::size_t portWidth_ = 0;
    std::size_t drawn_ = 0;
    bool stale_ = false;
    std::pair<int, int> drawnSize_;
    std::chrono::steady_clock::time_point drawnAt_;
};

// Every line one JSON object: the port, the event and its fields.
class JsonScreen final : public Screen {
public:
    using Screen::Screen;
    void Notice(const std::string& text) override {
        Write({{"port", nullptr}, {"event", "notice"}, {"text", text}});
    }
    void Error(const std::string& text) override {
        std::cerr << "vardel-flash: " << text << std::endl;
        Write({{"port", nullptr}, {"event", "error"}, {"text", text}});
    }
    void Summary(const std::vector<UnitResult>& results) override {
        for (std::size_t i = 0; i < results.size() && i < state_.size(); ++i) {
            Write(Result(state_[i].port, results[i], "summary"));
        }
    }

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        nlohmann::json line = {{"port", state_[unit].port}};
        switch (event.kind) {
        case UnitEvent::Kind::Status:
            line["event"] = "status";
            line["text"] = event.text;
            if (event.error) line["error"] = true;
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
        case UnitEvent::Kind::PortLost:
            line["event"] = "port_lost";
            if (event.block) line["block"] = *event.block;
            break;
        case UnitEvent::Kind::PortBack:
            line["event"] = "port_back";
            break;
        case UnitEvent::Kind::Finished:
            line = Result(state_[unit].port, event.result, "result");
            break;
        }
        if (!quiet_ || IsBadEnd(event)) Write(line);
    }

    static nlohmann::json Result(const std::string& port, const UnitResult& result,
                                 const char* event) {
        nlohmann::json line = {{"port", port},
                               {"event", event},
                               {"result", OutcomeName(result.outcome)},
                               {"blocks", result.blocks},
                               {"seconds", result.seconds},
                               {"bytes_per_second", result.BytesPerSecond()},
                               {"reconnections", result.reconnections}};
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

Screen::Screen(std::vector<std::string> ports, bool quiet) : quiet_(quiet) {
    for (auto& port : ports) state_.push_back(UnitState{std::move(port), {}, 0, 0, {}, false, {}});
}

std::vector<std::string> Screen::Ports() const {
    std::vector<std::string> ports;
    ports.reserve(state_.size());
    for (const auto& unit : state_) ports.push_back(unit.port);
    return ports;
}

void Screen::Report(std::size_t unit, const UnitEvent& event) {
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
    case UnitEvent::Kind::PortLost:
        now.lost = true;
        break;
    case UnitEvent::Kind::PortBack:
        now.lost = false;
        break;
    case UnitEvent::Kind::Finished:
        now.result = event.result;
        break;
    }
    Show(unit, event, previous);
}

std::unique_ptr<Screen> MakeScreen(Output output, const std::vector<std::string>& ports,
                                   bool quiet) {
    switch (output) {
    case Output::Terminal:
        return std::make_unique<LiveScreen>(ports, quiet);
    case Output::Json:
        return std::make_unique<JsonScreen>(ports, quiet);
    case Output::Plain:
        break;
    }
    return std::make_unique<PlainScreen>(ports, quiet);
}

}  // namespace vardel::flash
