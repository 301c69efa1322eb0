#include "flash/Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

namespace vardel::flash {
namespace {

constexpr unsigned kLongestTimeout = 24 * 60 * 60;

const char* const kDescription =
    "vardel-flash [options] FIRMWARE   flash FIRMWARE to every unit named by --port\n"
    "vardel-flash --list-ports         list the serial ports of this machine\n\n"
    "Every unit runs at once, each with its own MCU leading; a unit that fails never\n"
    "stops the others.";
const char* const kFooter =
    "Exit status: 0 every unit completed; 1 any failed; 2 usage or file error (nothing\n"
    "sent); 130 stopped by the user.";

std::optional<std::string> Duplicate(std::vector<std::string> ports) {
    std::sort(ports.begin(), ports.end());
    const auto twice = std::adjacent_find(ports.begin(), ports.end());
    return twice == ports.end() ? std::nullopt : std::optional<std::string>(*twice);
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app(kDescription, "vardel-flash");
    app.footer(kFooter);
    app.add_option("FIRMWARE", options.firmware, "the firmware image (1,024 to 65,536 bytes used)");
    app.add_option("-p,--port", options.ports,
                   "a unit's serial port; repeat it for several units at once (default: " +
                       std::string(VARDEL_DEFAULT_PORT) + ")")
        ->type_name("DEVICE")
        ->allow_extra_args(false);
    app.add_flag_callback(
        "--no-reset", [&options] { options.reset = false; },
        "do not write the reset frame after a completed upgrade");
    app.add_option("--timeout", options.timeoutSeconds,
                   "the longest an MCU may stay silent: from the enter-upgrade frame to its first "
                   "request, and between two requests")
        ->type_name("SECONDS")
        ->check(CLI::Range(1u, kLongestTimeout))
        ->capture_default_str();
    app.add_flag("--check", options.checkOnly,
                 "read and check the file, open and set each port, send nothing");
    app.add_flag("--json", options.json, "one JSON object a line on standard output");
    app.add_flag("-q,--quiet", options.quiet, "only errors and the closing summary");
    app.add_flag("--list-ports", options.listPorts, "list the serial ports of this machine");
    app.set_version_flag("--version", "vardel-flash " VARDEL_VERSION);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::cerr << "vardel-flash: " << error.what() << " (see --help)\n";
        return kExitUsage;
    }
    if (options.listPorts) {
        return std::nullopt;
    }
    if (options.firmware.empty()) {
        std::cerr << "vardel-flash: no FIRMWARE file named (see --help)\n";
        return kExitUsage;
    }
    if (options.ports.empty()) {
        options.ports.emplace_back(VARDEL_DEFAULT_PORT);
    }
    if (const auto twice = Duplicate(options.ports)) {
        std::cerr << "vardel-flash: the port " << *twice << " is named twice\n";
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace vardel::flash
