// The command line of vardel-mcu-sim: the simulator's options and the tool's
// own settings, read from flags (vardel-mcu-sim --help lists them).
#pragma once

#include <string>
#include <vector>

#include "sim/Scenario.h"

namespace vardel::sim {

struct Settings {
    Options options;
    std::string imagePath;
    std::string linkPath;
    bool ready = false;
    bool quiet = false;
    bool progress = false;
    long maxSeconds = 600;
    long units = 1;     // MCUs one after another on the same line
    long lingerMs = 0;  // the line stays this long after the last

    // Instead of a session: where to write the demo image.
    std::vector<std::string> demoImagePaths;
};

enum class Parse { Run, Help, Error };

// Parse::Help with the usage in `text`; Parse::Error with what is wrong in
// `text` on a flag it does not know, a value it cannot use or a required flag
// missing.
Parse ReadCommandLine(int argc, char** argv, Settings& settings, std::string& text);

}  // namespace vardel::sim
