// What the operating system has counted for a running process, read from
// /proc: the CPU time of all its threads and its peak resident memory.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>

namespace vardel::bench {

using Clock = std::chrono::steady_clock;

// The process's CPU time so far and the moment it was read.
struct CpuMark {
    Clock::time_point at;
    long long ticks = 0;  // user + system time, in clock ticks
};

// CPU use between two marks.
struct CpuShare {
    double percentOfCore = 0;
    long long ticks = 0;
    double seconds = 0;  // wall time between the marks
};

// nullopt once the process is gone.
std::optional<CpuMark> ReadCpu(pid_t pid);
CpuShare ShareBetween(const CpuMark& from, const CpuMark& to);

// The CPU time of every process on the machine, all cores together, as a
// mark: a share of one core over 100 % means more than one core busy.
std::optional<CpuMark> ReadMachineBusy();

// VmHWM in KiB; nullopt once the process is gone or has released its memory.
std::optional<long> ReadPeakResidentKib(pid_t pid);

}  // namespace vardel::bench
