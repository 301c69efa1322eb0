// How one unit's run ended.
#pragma once

#include <cstdint>
#include <string>

namespace vardel::flash {

enum class Outcome {
    Completed,  // the MCU took the image (and the reset frame, unless left out)
    Ready,      // --check: the port opened and took the line settings
    Failed,
    Stopped,  // by the user, in the middle of the run
};

struct UnitResult {
    Outcome outcome = Outcome::Failed;
    std::string reason;        // for Failed and Stopped: what happened, where
    std::uint32_t blocks = 0;  // data frames written whole
    double seconds = 0;
    std::uint32_t reconnections = 0;  // times the port went away and came back
    bool portInUse = false;           // Failed: another program held the port; nothing sent
    [[nodiscard]] double BytesPerSecond() const;
};

[[nodiscard]] const char* OutcomeName(Outcome outcome);

}  // namespace vardel::flash
