#include "flash/Screens.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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
constexpr const char* kWaitingLine = "waiting for its turn";
constexpr const char* kInUseAfter = "; tried again once it is free";

// What a station's slot shows at an event of its own, when it has one.
std::optional<std::string> SlotLine(const UnitEvent& event) {
    switch (event.kind) {
    case UnitEvent::Kind::Appeared:
        return "appeared";
    case UnitEvent::Kind::Gone:
        return "gone";
    case UnitEvent::Kind::Waiting:
        return kWaitingLine;
    case UnitEvent::Kind::Start:
        return "unit " + std::to_string(event.sequence) + " started";
    default:
        return std::nullopt;
    }
}

// The time of a JSON line: ISO 8601 in UTC, to the millisecond.
std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    (void)std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                        static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                        static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                        static_cast<int>(time.minutes().count()),
                        static_cast<int>(time.seconds().count()),
                        static_cast<int>(time.subseconds().count()));
    return text;
}

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
    LiveScreen(std::vector<std::string> ports, ScreenSetup setup)
        : Screen(std::move(ports), std::move(setup)) {
        for (const auto& unit : state_) portWidth_ = std::max(portWidth_, unit.port.size());
    }
    void Notice(const std::string& text) override { Above("vardel-flash: " + text); }
    void Error(const std::string& text) override { Notice(text); }
    void Summary(const std::vector<UnitResult>& results) override {
        if (!quiet_) Redraw();
        std::cout << (IsStation() ? SlotTable() : SummaryTable(Ports(), results)) << std::flush;
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
        portWidth_ = std::max(portWidth_, port.size());
        if (event.kind == UnitEvent::Kind::Finished) {
            std::string line = port + ": " + Ended(event.result);
            if (IsStation()) line += state_[unit].inUse ? kInUseAfter : "; " + SlotCounts(unit);
            if (!quiet_ || IsBadEnd(event)) Above(line);
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
        std::vector<std::string> lines;
        if (IsStation()) lines.push_back(Header());
        const std::size_t rowsLeft = rows > 1 ? static_cast<std::size_t>(rows - 1) : 1;
        const std::size_t room = std::max<std::size_t>(rowsLeft - std::min(rowsLeft, lines.size()), 1);
        const std::size_t shown = state_.size() <= room ? state_.size() : room - 1;
        for (std::size_t i = 0; i < shown; ++i) lines.push_back(Line(i));
        if (shown < state_.size()) lines.push_back(Rest(shown));
        for (const auto& line : lines) {
            std::cout << FitColumns(line, columns - 1) << kClearToEnd << '\n';
        }
        drawn_ = lines.size();
        drawnAt_ = std::chrono::steady_clock::now();
        stale_ = false;
        std::cout << std::flush;
    }
    // "station: fw.bin, 28,672 bytes: 3 passed, 1 failed; 2 flashing"
    [[nodiscard]] std::string Header() const {
        std::string line = "station: " + station_ + ": " + Counts();
        std::map<std::string, int> now;
        for (const auto& slot : state_) ++now[SlotState(slot)];
        const char* separator = "; ";
        for (const auto& [state, count] : now) {
            line += separator + std::to_string(count) + " " + state;
            separator = ", ";
        }
        return line;
    }
    [[nodiscard]] static std::string SlotState(const UnitState& slot) {
        if (slot.gone) return "gone";
        if (slot.waiting) return "waiting";
        if (slot.inUse) return "in use";
        if (slot.result) return OutcomeName(slot.result->outcome);
        return slot.sequence == 0 ? "appeared" : "flashing";
    }
    [[nodiscard]] std::string Line(std::size_t index) const {
        const UnitState& unit = state_[index];
        std::string line = unit.port + std::string(portWidth_ - unit.port.size(), ' ');
        if (IsStation()) {
            line += "  " + SlotCounts(index) + "  ";
            if (unit.gone || unit.waiting || unit.sequence == 0) {
                return line + (unit.gone ? "gone" : unit.waiting ? kWaitingLine : "appeared");
            }
            if (unit.inUse && unit.result) return line + Ended(*unit.result) + kInUseAfter;
        }
        line += " [";
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
            ++counts[IsStation()          ? SlotState(unit)
                     : unit.result        ? OutcomeName(unit.result->outcome)
                     : unit.lost          ? "waiting for their port"
                                          : "flashing"];
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

// Every line one JSON object: the port, the event and its fields, the time
// and the version of this schema (fields may be added, never renamed or
// removed within a version).
class JsonScreen : public Screen {
public:
    static constexpr int kSchemaVersion = 1;

    // `user`: the user's standard output, where errors also go to standard
    // error; otherwise a log, whose name `trouble` words are about.
    JsonScreen(std::vector<std::string> ports, ScreenSetup setup, std::ostream& out, bool user,
               std::string name = {})
        : Screen(std::move(ports), std::move(setup)), out_(out), user_(user), name_(std::move(name)) {}
    void Notice(const std::string& text) override {
        Write({{"port", nullptr}, {"event", "notice"}, {"text", text}});
    }
    void Error(const std::string& text) override {
        if (user_) std::cerr << "vardel-flash: " << text << std::endl;
        Write({{"port", nullptr}, {"event", "error"}, {"text", text}});
    }
    std::string TakeTrouble() override { return std::exchange(trouble_, {}); }
    void Summary(const std::vector<UnitResult>& results) override {
        if (IsStation()) {
            for (const auto& slot : state_) {
                Write({{"port", slot.port},
                       {"event", "summary"},
                       {"passed", slot.passed},
                       {"failed", slot.failed}});
            }
            return;
        }
        for (std::size_t i = 0; i < results.size() && i < state_.size(); ++i) {
            Write(Result(state_[i].port, results[i], "summary"));
        }
    }

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        const UnitState& slot = state_[unit];
        nlohmann::json line = {{"port", slot.port}};
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
            if (IsStation() && slot.inUse) {
                line["event"] = "port_in_use";
                line["reason"] = event.result.reason;
                break;
            }
            line = Result(slot.port, event.result, "result");
            if (IsStation()) {
                line["unit"] = slot.sequence;
                line["passed"] = slot.passed;
                line["failed"] = slot.failed;
            }
            break;
        case UnitEvent::Kind::Appeared:
            line["event"] = "slot_added";
            break;
        case UnitEvent::Kind::Gone:
            line["event"] = "slot_gone";
            break;
        case UnitEvent::Kind::Waiting:
            line["event"] = "waiting";
            break;
        case UnitEvent::Kind::Start:
            line["event"] = "unit_start";
            line["unit"] = event.sequence;
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
    // Flushed at once, so that each line leaves whole.
    void Write(nlohmann::json line) {
        line["v"] = kSchemaVersion;
        line["t"] = UtcNow();
        out_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        out_.flush();
        if (out_.good()) return;
        if (!told_ && !user_) {
            trouble_ = "the log " + name_ + " cannot be written (" + std::strerror(errno) +
                       "); the units go on";
        }
        told_ = true;
        out_.clear();
    }

    std::ostream& out_;
    bool user_;
    std::string name_;
    std::string trouble_;
    bool told_ = false;
};

// The file of --log, opened before the screen that writes to it.
struct LogFile {
    explicit LogFile(const std::string& path)
        : file(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())),
               std::ios::out | std::ios::app | std::ios::binary) {}
    std::ofstream file;
};

class LogScreen final : private LogFile, public JsonScreen {
public:
    LogScreen(const std::string& path, ScreenSetup setup)
        : LogFile(path), JsonScreen({}, std::move(setup), file, false, path) {}
    [[nodiscard]] bool Opened() const { return file.is_open(); }
};

// Two screens, each told everything; the second's trouble is told on the
// first.
class TwoScreens final : public Screen {
public:
    TwoScreens(std::unique_ptr<Screen> first, std::unique_ptr<Screen> second)
        : Screen({}, {}), first_(std::move(first)), second_(std::move(second)) {}
    void Notice(const std::string& text) override { Both([&](Screen& s) { s.Notice(text); }); }
    void Error(const std::string& text) override { Both([&](Screen& s) { s.Error(text); }); }
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
        now.lost = true;
        break;
    case UnitEvent::Kind::PortBack:
        now.lost = false;
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
        now.gone = false;
        break;
    case UnitEvent::Kind::Gone:
        now.gone = true;
        now.waiting = false;
        break;
    case UnitEvent::Kind::Waiting:
        now.waiting = true;
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

std::unique_ptr<Screen> MakeScreen(Output output, const std::vector<std::string>& ports,
                                   const ScreenSetup& setup) {
    switch (output) {
    case Output::Terminal:
        return std::make_unique<LiveScreen>(ports, setup);
    case Output::Json:
        return std::make_unique<JsonScreen>(ports, setup, std::cout, true);
    case Output::Plain:
        break;
    }
    return std::make_unique<PlainScreen>(ports, setup);
}

std::unique_ptr<Screen> MakeLogScreen(const std::string& path, const ScreenSetup& setup,
                                      std::string& error) {
    auto log = std::make_unique<LogScreen>(path, setup);
    if (log->Opened()) return log;
    error = path + ": " + std::strerror(errno);
    return nullptr;
}

std::unique_ptr<Screen> BothScreens(std::unique_ptr<Screen> first, std::unique_ptr<Screen> second) {
    return std::make_unique<TwoScreens>(std::move(first), std::move(second));
}

}  // namespace vardel::flash
