// The program under measurement, started offscreen as a child process. Its
// standard output is read here line by line, each line stamped with the
// moment it arrived, and its peak memory is sampled while it runs. Every wait
// has a deadline; whatever happens, the child is ended and reaped when this
// object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ProcessProbe.h"
#include "sim/PseudoTerminal.h"

namespace vardel::bench {

struct OutputLine {
    Clock::time_point at;
    std::string text;
};

class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Starts `program` with `arguments` on Qt's offscreen platform, standard
    // error into `errorLog`. The start time is taken just before the fork.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& errorLog, std::string& error);

    pid_t Pid() const { return pid_; }
    Clock::time_point StartedAt() const { return startedAt_; }
    bool Running() const { return pid_ > 0 && !exited_; }

    // Each of these reads output while it waits, and gives up at the deadline,
    // when the program has ended, or when the benchmark is interrupted.
    //   AwaitLine: until a line starting with one of `prefixes` arrives.
    //   AwaitCondition: until `done` holds (looked at every few milliseconds).
    //   Watch: until `until`; true if the program is still running then.
    //   AwaitExit: until the program ends by itself.
    bool AwaitLine(const std::vector<std::string_view>& prefixes, Clock::time_point deadline);
    bool AwaitCondition(const std::function<bool()>& done, Clock::time_point deadline);
    bool Watch(Clock::time_point until);
    bool AwaitExit(Clock::time_point deadline);

    // Asks the program to close as the window's cancel does (SIGTERM), kills it
    // if it has not ended within `grace`, and reaps it.
    void End(std::chrono::milliseconds grace);

    bool Saw(std::string_view prefix) const { return FirstLineAt(prefix).has_value(); }
    std::optional<Clock::time_point> FirstLineAt(std::string_view prefix) const;
    const std::vector<OutputLine>& Lines() const { return lines_; }
    std::optional<long> PeakResidentKib() const { return peakKib_; }
    // The raw wait status, once the program has ended.
    int WaitStatus() const { return waitStatus_; }

private:
    bool Until(const std::function<bool()>& done, Clock::time_point deadline);
    void Pump(Clock::time_point until);
    void ReadOutput();
    void SamplePeak();
    void Reap(bool block);

    pid_t pid_ = -1;
    bool exited_ = false;
    int waitStatus_ = 0;
    sim::UniqueFd output_;  // read end of the child's standard output; closed once drained
    std::string partial_;
    std::vector<OutputLine> lines_;
    Clock::time_point startedAt_;
    std::optional<long> peakKib_;
};

}  // namespace vardel::bench
