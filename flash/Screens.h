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
    // The station's own, about a slot (a port that appears and its units):
    // Appeared (its port, in text: a new slot when its index is the next),
    // Gone, Waiting (for its turn under --max-parallel), Start (a unit).
    enum class Kind {
        Status,
        Step,
        Progress,
        PortLost,
        PortBack,
        Finished,
        Appeared,
        Gone,
        Waiting,
        Start
    };
    Kind kind = Kind::Status;
    std::string text;    // Status: the engine's text, as the console shows it
    bool error = false;  // Status: a failure the MCU reported, shown also with --quiet
    int step = 0;
    int percent = 0;                     // Progress: the share of the file's blocks answered
    std::optional<std::uint32_t> block;  // Progress: the block that went out; PortLost: the last
    UnitResult result;                   // Finished
    std::uint32_t sequence = 0;          // Start: the unit's number on its slot, from 1
};

// What a screen shows beside its units.
struct ScreenSetup {
    bool quiet = false;
    // A station's title ("固件.bin, 28,672 bytes"): its slots come and go and
    // each counts its units; empty for a run of fixed units.
    std::string station;
};

class Screen {
public:
    Screen(std::vector<std::string> ports, ScreenSetup setup);
    virtual ~Screen() = default;
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    virtual void Report(std::size_t unit, const UnitEvent& event);
    // A line of the program's own (a warning, the answer to Ctrl-C); shown
    // also with --quiet.
    virtual void Notice(const std::string& text) = 0;
    // A usage or file error, before any unit ran.
    virtual void Error(const std::string& text) = 0;
    // The closing summary: a table of the units' results, or of a station's
    // slots and their counts (results is then empty).
    virtual void Summary(const std::vector<UnitResult>& results) = 0;
    // Called when nothing was reported for a while: a live screen follows the
    // terminal's size and brings its lines up to date.
    virtual void Idle() {}
    // What went wrong with the screen's own output since the last call, once
    // ("" when nothing did): a log file that cannot be written.
    virtual std::string TakeTrouble() { return {}; }

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
        // A station's slot: its unit's number, whether its port is gone or
        // it waits its turn, whether its port was in use by another program
        // at the latest try, and its counts.
        std::uint32_t sequence = 0;
        bool gone = false;
        bool waiting = false;
        bool inUse = false;
        std::uint32_t passed = 0;
        std::uint32_t failed = 0;
    };

    static UnitState Fresh(std::string port) {
        UnitState state;
        state.port = std::move(port);
        return state;
    }

    // `previous`: the unit before the event; state_ holds it after.
    virtual void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) = 0;
    [[nodiscard]] std::vector<std::string> Ports() const;
    [[nodiscard]] bool IsStation() const { return !station_.empty(); }
    // "3 passed, 1 failed": the station's, or a slot's.
    [[nodiscard]] std::string Counts() const;
    [[nodiscard]] std::string SlotCounts(std::size_t slot) const;
    // The station's closing table: each slot's counts and latest result.
    [[nodiscard]] std::string SlotTable() const;

    std::vector<UnitState> state_;
    bool quiet_;
    std::string station_;
};

// JSON lines with --json; otherwise live lines on a terminal, plain lines in
// a pipe or a file.
[[nodiscard]] Output ChooseOutput(const Options& options);

[[nodiscard]] std::unique_ptr<Screen> MakeScreen(Output output,
                                                 const std::vector<std::string>& ports,
                                                 const ScreenSetup& setup);
// The same JSON lines as --json, added to the file at `path` (a station's
// record across restarts): each line written whole, flushed after each
// result. A write that fails is told once through `tell`'s Notice; the units
// go on. nullptr with `error` when the file does not open.
[[nodiscard]] std::unique_ptr<Screen> MakeLogScreen(const std::string& path,
                                                    const ScreenSetup& setup, std::string& error);
// Both screens get everything: the first is the user's, and the notice of a
// log that cannot be written goes to it.
[[nodiscard]] std::unique_ptr<Screen> BothScreens(std::unique_ptr<Screen> first,
                                                  std::unique_ptr<Screen> second);

// A failed or stopped unit's end: shown also with --quiet.
[[nodiscard]] bool IsBadEnd(const UnitEvent& event);
// "failed: the reason"
[[nodiscard]] std::string Ended(const UnitResult& result);

}  // namespace vardel::flash
