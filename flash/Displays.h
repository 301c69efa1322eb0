// What the user sees of the units' runs: on a terminal one live line per unit
// rewritten in place; in a pipe or file plain lines, one per event, each
// naming its port; with --json one JSON object a line. Units report from
// threads of their own; every call takes the display's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "flash/Options.h"
#include "flash/UnitResult.h"

namespace vardel::flash {

struct UnitEvent {
    enum class Kind { Status, Step, Progress, Finished };
    Kind kind = Kind::Status;
    std::string text;  // Status: the engine's text, as the console shows it
    int step = 0;
    int percent = 0;
    std::optional<std::uint32_t> block;  // Progress: the block that goes out
    UnitResult result;                   // Finished
};

class Display {
public:
    Display(std::vector<std::string> ports, bool quiet);
    virtual ~Display() = default;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    void Report(std::size_t unit, const UnitEvent& event);
    // A line of the program's own (a warning, the answer to Ctrl-C); shown
    // also with --quiet.
    void Notice(const std::string& text);
    void Summary(const std::vector<UnitResult>& results);

protected:
    // The latest of each unit, kept for the displays that draw it whole.
    struct UnitState {
        std::string port;
        std::string text;
        int step = 0;
        int percent = 0;
        std::optional<std::uint32_t> block;
        std::optional<UnitResult> result;
    };

    // `previous`: the unit before the event; state_ holds it after.
    virtual void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) = 0;
    virtual void ShowNotice(const std::string& text) = 0;
    virtual void ShowSummary(const std::vector<UnitResult>& results) = 0;
    [[nodiscard]] std::vector<std::string> Ports() const;

    std::vector<UnitState> state_;
    bool quiet_;

private:
    std::mutex lock_;
};

std::unique_ptr<Display> MakeDisplay(Output output, const std::vector<std::string>& ports,
                                     bool quiet);

}  // namespace vardel::flash
