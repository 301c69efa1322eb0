#include "bench/Report.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <utility>

namespace vardel::bench {

namespace {

std::string FirstLine(const char* path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string CpuModel() {
    std::ifstream file("/proc/cpuinfo");
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with("model name")) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line
                                              : line.substr(line.find_first_not_of(' ', colon + 1));
        }
    }
    return "unknown CPU";
}

std::string Kernel() {
    utsname names{};
    if (uname(&names) != 0) {
        return "unknown kernel";
    }
    return std::string(names.sysname) + " " + names.release + " " + names.machine;
}

std::string Cell(const std::string& text) {
    std::string cell;
    for (const char c : text) {
        cell += c == '|' ? std::string("\\|") : std::string(1, c);
    }
    return cell;
}

}  // namespace

Machine DescribeMachine() {
    Machine machine;
    machine.cpus = sysconf(_SC_NPROCESSORS_ONLN);
    machine.cpuModel = CpuModel();
    machine.kernel = Kernel();
    const std::string debian = FirstLine("/etc/debian_version");
    machine.debian = debian.empty() ? "not Debian" : "Debian " + debian;
    return machine;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    (void)std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string Table(const std::vector<Row>& rows) {
    std::string table = "| measure | value | goal | met |\n|---|---|---|---|\n";
    for (const Row& row : rows) {
        const std::string met = row.met ? (*row.met ? "yes" : "no") : "—";
        table += "| " + Cell(row.measure) + " | " + Cell(row.value) + " | " +
                 Cell(row.goal.empty() ? "—" : row.goal) + " | " + met + " |\n";
    }
    return table;
}

std::string Document(const std::string& table, const std::string& command, const Machine& machine,
                     const std::string& date, const std::vector<std::string>& notes) {
    std::string text =
        "# Performance\n\n"
        "The figures come from `bench/vardel_bench`. It runs `vardel-bench`, a demo build of "
        "the whole program (the real window, offscreen, with the buttons pressed for the user), "
        "against the simulated MCU on a pseudo-terminal, in the same process as the simulator. "
        "`make bench` builds the default preset, runs it and rewrites this file.\n\n";
    text += "- Command: `" + command + "`\n";
    text += "- Machine: " + std::to_string(machine.cpus) + " CPUs, " + machine.cpuModel + ", " +
            machine.kernel + ", " + machine.debian + "\n";
    text += "- Date: " + date + "\n\n";
    text += table;
    text += "\n## How each figure is taken\n\n";
    for (const std::string& note : notes) {
        text += "- " + note + "\n";
    }
    return text;
}

std::string Part(const std::string& heading, const std::string& intro, const std::string& table,
                 const std::vector<std::string>& notes) {
    std::string text = "\n## " + heading + "\n\n" + intro + "\n\n" + table;
    text += "\n### How each of these figures is taken\n\n";
    for (const std::string& note : notes) {
        text += "- " + note + "\n";
    }
    return text;
}

double Median(std::vector<double> samples) { return Percentile(std::move(samples), 0.5); }

double Percentile(std::vector<double> samples, double share) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const double position = share * static_cast<double>(samples.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, samples.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return samples[below] + fraction * (samples[above] - samples[below]);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    (void)std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Built by appending: GCC 12 at -O3 takes std::string::insert here for an
// overlapping copy (-Wrestrict) where there is none.
std::string Grouped(long long value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string grouped = value < 0 ? "-" : "";
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[at];
    }
    return grouped;
}

// "≤ 5.5 ms", "≤ 40 MB"
std::string Goal(double limit, const char* unit) {
    char number[32];
    (void)std::snprintf(number, sizeof number, "%g", limit);
    return "≤ " + std::string(number) + unit;
}

// "1 run", "3 runs"
std::string Counted(long long count, const std::string& noun) {
    return Grouped(count) + " " + noun + (count == 1 ? "" : "s");
}

Row Unmeasured(std::string measure, const std::string& error, std::string goal) {
    return {std::move(measure), "not measured: " + error, std::move(goal), false};
}

void Progress(const std::string& line) { (void)std::fprintf(stderr, "%s\n", line.c_str()); }

}  // namespace vardel::bench
