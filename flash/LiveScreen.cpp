#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>

#include "flash/ScreenParts.h"
#include "flash/Summary.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

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
        const std::size_t room =
            std::max<std::size_t>(rowsLeft - std::min(rowsLeft, lines.size()), 1);
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
            ++counts[IsStation()   ? SlotState(unit)
                     : unit.result ? OutcomeName(unit.result->outcome)
                     : unit.lost   ? "waiting for their port"
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

}  // namespace

std::unique_ptr<Screen> MakeLiveScreen(const std::vector<std::string>& ports,
                                       const ScreenSetup& setup) {
    return std::make_unique<LiveScreen>(ports, setup);
}

}  // namespace vardel::flash
