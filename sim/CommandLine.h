// The command line of vardel-mcu-sim: the simulator's options and the tool's
// own settings, read from flags. See kUsage.
#pragma once

#include <string>

#include "sim/Scenario.h"

namespace vardel::sim::cli {

struct Settings {
    Options options;
    std::string imagePath;
    std::string linkPath;
    bool ready = false;
    bool quiet = false;
    bool progress = false;
    long maxSeconds = 600;
};

enum class Parse { Run, Help, Error };

// Parse::Error with what is wrong in `complaint` on a flag it does not know,
// a value it cannot use or a required flag missing.
Parse ReadCommandLine(int argc, char** argv, Settings& settings, std::string& complaint);

// The text of --help.
extern const char* const kUsage;

}  // namespace vardel::sim::cli
