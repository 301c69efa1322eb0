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
    std::string trace;  // the trace file; empty: none
};

// Fills options from the command line. Returns the exit status when the
// program ends here (--help, --version: 0 after the text on standard output;
// a usage error: kExitUsage after one line on standard error).
std::optional<int> ParseOptions(int argc, char** argv, Options& options);

}  // namespace vardel::flash
