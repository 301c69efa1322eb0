// What the user sees of the units' runs: on a terminal one live line per unit
// rewritten in place; in a pipe or file plain lines, one per event, each
// naming its port; with --json one JSON object a line. A screen is drawn by
// the display's own thread only (see Display.h), never by a unit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/Options.h"
#include "flash/UnitResult.h"

namespace vardel::flash {

struct UnitEvent {
    enum class Kind { Status, Step, Progress, PortLost, PortBack, Finished };
    Kind kind = Kind::Status;
    std::string text;    // Status: the engine's text, as the console shows it
    bool error = false;  // Status: a failure the MCU reported, shown also with --quiet
    int step = 0;
    int percent = 0;                     // Progress: the share of the file's blocks answered
    std::optional<std::uint32_t> block;  // Progress: the block that went out; PortLost: the last
    UnitResult result;                   // Finished
};

class Screen {
public:
    Screen(std::vector<std::string> ports, bool quiet);
    virtual ~Screen() = default;
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    void Report(std::size_t unit, const UnitEvent& event);
    // A line of the program's own (a warning, the answer to Ctrl-C); shown
    // also with --quiet.
    virtual void Notice(const std::string& text) = 0;
    // A usage or file error, before any unit ran.
    virtual void Error(const std::string& text) = 0;
    virtual void Summary(const std::vector<UnitResult>& results) = 0;
    // Called when nothing was reported for a while: a live screen follows the
    // terminal's size and brings its lines up to date.
    virtual void Idle() {}

protected:
    // The latest of each unit, kept for the screens that draw it whole.
    struct UnitState {
        std::string port;
        std::string text;
        int step = 0;
        int percent = 0;
        std::optional<std::uint32_t> block;
        bool lost = false;  // the port went away and has not come back yet
        std::optional<UnitResult> result;
    };

    // `previous`: the unit before the event; state_ holds it after.
    virtual void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) = 0;
    [[nodiscard]] std::vector<std::string> Ports() const;

    std::vector<UnitState> state_;
    bool quiet_;
};

[[nodiscard]] std::unique_ptr<Screen> MakeScreen(Output output,
                                                 const std::vector<std::string>& ports, bool quiet);

// A failed or stopped unit's end: shown also with --quiet.
[[nodiscard]] bool IsBadEnd(const UnitEvent& event);
// "failed: the reason"
[[nodiscard]] std::string Ended(const UnitResult& result);

}  // namespace vardel::flash
