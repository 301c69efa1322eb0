#include "flash/Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string_view>

#include "flash/ExitStatus.h"
#include "platform/PortWatch.h"

namespace vardel::flash {
namespace {

constexpr unsigned kLongestTimeout = 24 * 60 * 60;
constexpr unsigned kMostParallel = 1024;

std::string DefaultPatternsText() {
    std::string text;
    for (const auto& pattern : DefaultPortPatterns()) text += (text.empty() ? "" : " ") + pattern;
    return text;
}

const char* const kDescription =
    "vardel-flash [options] FIRMWARE   flash FIRMWARE to every unit named by --port\n"
    "vardel-flash --watch [options] [PATTERN]... FIRMWARE\n"
    "                                  a station: flash every unit whose port appears\n"
    "vardel-flash --list-ports         list the serial ports of this machine\n\n"
    "Every unit runs at once, each with its own MCU leading; a unit that fails never\n"
    "stops the others.";
const char* const kFooter =
    "Exit status: 0 every unit completed; 1 any failed; 2 usage or file error (nothing\n"
    "sent); 130 stopped by the user.";

// A usage error: one line on standard error, and with --json (looked for in
// the raw arguments, as the parse may not have got that far) a JSON line too.
int UsageError(const std::string& text, int argc, char** argv) {
    std::cerr << "vardel-flash: " << text << " (see --help)\n";
    if (std::find_if(argv + 1, argv + argc, [](const char* a) {
            return std::string_view(a) == "--json";
        }) != argv + argc) {
        std::cout << nlohmann::json{{"port", nullptr}, {"event", "error"}, {"text", text}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << '\n';
    }
    return kExitUsage;
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app(kDescription, "vardel-flash");
    app.footer(kFooter);
    // "/fw/KD51A.BIN" is a file, never an option, on Windows too.
    app.allow_windows_style_options(false);
    std::vector<std::string> files;
    app.add_option("FIRMWARE", files,
                   "the firmware image (1,024 to 65,536 bytes used); with --watch, the patterns "
                   "of the ports to watch before it");
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
    app.add_flag("-q,--quiet", options.quiet,
                 "only errors (the MCU's own among them) and the closing summary");
    app.add_option("--trace", options.trace,
                   "write every byte each way to FILE, with its time and the frame it forms")
        ->type_name("FILE");
    app.add_flag("--list-ports", options.listPorts, "list the serial ports of this machine");
    app.add_flag("--watch", options.watch,
                 "run as a station until stopped: flash each unit whose port appears (default "
                 "patterns: " +
                     DefaultPatternsText() + "), once per appearance");
    app.add_flag("--skip-present", options.skipPresent,
                 "with --watch: leave the ports that are there at the start alone");
    app.add_option("--max-parallel", options.maxParallel,
                   "with --watch: flash at most N units at once; the others wait their turn")
        ->type_name("N")
        ->check(CLI::Range(1u, kMostParallel));
    app.add_option("--log", options.log,
                   "with --watch: add every JSON line to FILE, kept across restarts")
        ->type_name("FILE");
    app.set_version_flag("--version", "vardel-flash " VARDEL_VERSION);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what(), argc, argv);
    }
    if (options.listPorts) {
        return std::nullopt;
    }
    if (files.empty()) {
        return UsageError("no FIRMWARE file named", argc, argv);
    }
    options.firmware = files.back();
    files.pop_back();
    if (!options.watch) {
        if (!files.empty()) {
            return UsageError("one FIRMWARE file, and " + files.front() +
                                  " before it (patterns of ports go with --watch)",
                              argc, argv);
        }
        if (options.skipPresent || options.maxParallel != 0 || !options.log.empty()) {
            return UsageError("--skip-present, --max-parallel and --log go with --watch", argc,
                              argv);
        }
        if (options.ports.empty()) options.ports.emplace_back(VARDEL_DEFAULT_PORT);
        return std::nullopt;
    }
    if (!options.ports.empty() || options.checkOnly) {
        return UsageError("--watch takes the patterns of its ports, not --port or --check", argc,
                          argv);
    }
    options.patterns = files.empty() ? DefaultPortPatterns() : files;
    return std::nullopt;
}

}  // namespace vardel::flash
