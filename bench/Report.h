// The benchmark's one table, the machine it ran on, and the document that
// holds both.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vardel::bench {

struct Row {
    std::string measure;
    std::string value;
    std::string goal;         // empty: no goal
    std::optional<bool> met;  // nullopt: no goal
};

struct Machine {
    long cpus = 0;
    std::string cpuModel;
    std::string kernel;
    std::string debian;
};

Machine DescribeMachine();
// "2026-01-31 14:05 UTC"
std::string UtcNow();

// A Markdown table: measure, value, goal, met.
std::string Table(const std::vector<Row>& rows);
std::string Document(const std::string& table, const std::string& command, const Machine& machine,
                     const std::string& date, const std::vector<std::string>& notes);
// A part of the document after the first: its heading, what it measures, its
// table and its notes.
std::string Part(const std::string& heading, const std::string& intro, const std::string& table,
                 const std::vector<std::string>& notes);

// Statistics over samples; both interpolate between neighbouring samples.
double Median(std::vector<double> samples);
double Percentile(std::vector<double> samples, double share);

// "9.412", with `decimals` places.
std::string Fixed(double value, int decimals);
// "28,672"
std::string Grouped(long long value);
// "≤ 5.5 ms", "≤ 40 MB"
std::string Goal(double limit, const char* unit);
// "1 run", "3 runs"
std::string Counted(long long count, const std::string& noun);
// The row of a figure that could not be taken, and why.
Row Unmeasured(std::string measure, const std::string& error, std::string goal);
// One line of the benchmark's progress, on standard error.
void Progress(const std::string& line);

}  // namespace vardel::bench
