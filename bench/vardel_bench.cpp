// vardel_bench: measures the whole program against the simulated MCU and
// writes one table: its command line and the document; the measurements
// themselves are in Measurements. See kUsage below.

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "bench/Interruption.h"
#include "bench/Measurements.h"
#include "bench/ProgramRuns.h"
#include "bench/Report.h"
#include "sim/PseudoTerminal.h"

namespace {

using namespace vardel::bench;

constexpr const char* kUsage = R"(usage: vardel_bench [--quick] [--output FILE]

Runs vardel-bench, a demo build of the whole program, offscreen against the
simulated MCU, measures transfer time at the line rate, response latency,
CPU use in four states, peak memory and the time to the first tick; then
vardel-flash: line rate, latency and CPU for one unit, and 1 to 16 units at
once. Prints both tables and writes them with the command, the machine and
the date to FILE.

  --quick        shorter runs and windows: a smoke check, not figures to keep
  --output FILE  where the table goes (default )" VARDEL_BENCH_OUTPUT R"()
  --help         this text

Exit status: 0 every figure was measured (whether or not it met its goal),
1 one could not be measured, 2 usage error, 130 interrupted (nothing written).
)";

constexpr int kExitInterrupted = 130;

constexpr const char* kFlashIntro =
    "The same benchmark runs `vardel-flash`, the command-line program of this build, against "
    "the same simulated MCU: one unit, then several at once. Its goals are tighter than the "
    "dialog program's, which answers on a 5 ms timer: vardel-flash answers as soon as a "
    "request is complete.";

struct Settings {
    bool quick = false;
    std::string output = VARDEL_BENCH_OUTPUT;
    std::string command;
};

std::string Quoted(const std::string& argument) {
    return argument.find_first_of(" \t'\"") == std::string::npos ? argument : "'" + argument + "'";
}

// 0: go on; otherwise the exit status.
int ReadSettings(int argc, char** argv, Settings& settings) {
    settings.command = Quoted(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        settings.command += " " + Quoted(argv[i]);
        if (argument == "--quick") {
            settings.quick = true;
        } else if (argument == "--output" && i + 1 < argc) {
            settings.output = argv[++i];
            settings.command += " " + Quoted(settings.output);
        } else if (argument == "--help") {
            (void)std::fputs(kUsage, stdout);
            return -1;
        } else {
            (void)std::fputs(kUsage, stderr);
            return 2;
        }
    }
    return 0;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

// The parts of the file that `make bench-web` and `make bench-windows` write,
// from the first of their markers on, are kept as they are; empty when there
// are none.
std::string OtherParts(const std::string& path) {
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto at = std::min(text.find("<!-- web-part:"), text.find("<!-- windows-part:"));
    return at == std::string::npos ? std::string() : "\n" + text.substr(at);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (const int status = ReadSettings(argc, argv, settings); status != 0) {
        return status < 0 ? 0 : status;
    }
    CatchInterruptions();
    const BenchSetup setup{VARDEL_BENCH_PROGRAM, VARDEL_BENCH_DEVICE,
                           FolderOf(VARDEL_BENCH_PROGRAM), VARDEL_BENCH_FLASH};
    // Two runs at once would share the device path and the firmware files.
    const vardel::sim::UniqueFd lock(
        open((setup.folder + "/.bench.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock.Valid() || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        (void)std::fprintf(stderr, "vardel_bench: another run holds %s/.bench.lock\n",
                           setup.folder.c_str());
        return 1;
    }

    const Plan& plan = settings.quick ? kQuickPlan : kFullPlan;
    ProgramRuns runs(setup);
    Measurements measurements(runs, plan);
    measurements.Run();
    if (Interrupted()) {
        (void)std::fputs("vardel_bench: interrupted; nothing written\n", stderr);
        return kExitInterrupted;
    }
    const std::string table = Table(measurements.Rows(Host::Dialog));
    const std::string flashTable = Table(measurements.Rows(Host::Flash));
    (void)std::fputs(("\n" + table + "\n" + flashTable).c_str(), stdout);
    const std::string document =
        Document(table, settings.command, DescribeMachine(), UtcNow(),
                 Notes(plan, settings.quick)) +
        Part("The command line: vardel-flash", kFlashIntro, flashTable, measurements.FlashNotes()) +
        OtherParts(settings.output);
    if (!WriteText(settings.output, document)) {
        (void)std::fprintf(stderr, "vardel_bench: could not write %s\n", settings.output.c_str());
        return 1;
    }
    (void)std::fprintf(stderr, "written to %s\n", settings.output.c_str());
    return measurements.AllMeasured() ? 0 : 1;
}
