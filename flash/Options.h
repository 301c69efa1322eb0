// The command line of vardel-flash.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vardel::flash {

enum class Output { Terminal, Plain, Json };

struct Options {
    std::string firmware;
    std::vector<std::string> ports;  // one unit each, in the order given
    bool reset = true;
    unsigned timeoutSeconds = 10;
    bool checkOnly = false;
    bool json = false;
    bool quiet = false;
    bool listPorts = false;
    std::string trace;  // the trace file (with --watch a folder); empty: none
    // The station: flash every unit whose port appears, until stopped.
    bool watch = false;
    std::vector<std::string> patterns;  // of the ports watched; empty: the system's own
    bool skipPresent = false;           // the ports there at the start are left alone
    unsigned maxParallel = 0;           // units flashed at once; 0: no limit
    std::string log;                    // the file the station's JSON lines are added to
};

// Fills options from the command line. Returns the exit status when the
// program ends here (--help, --version: 0 after the text on standard output;
// a usage error: kExitUsage after one line on standard error).
std::optional<int> ParseOptions(int argc, char** argv, Options& options);

}  // namespace vardel::flash
