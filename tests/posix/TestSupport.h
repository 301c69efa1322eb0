// Real system objects for the platform's tests: a pseudo-terminal standing in
// for the serial line, child processes, pipes and a scratch folder.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"

namespace vardel::test {

using Bytes = std::vector<std::uint8_t>;

// The slave end is the serial device the platform opens; the master end is
// the MCU on the other side of the line.
struct Pty {
    Pty();
    UniqueFd master;
    UniqueFd slave;
    std::string slavePath;
};

struct Pipe {
    Pipe();
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

// Bytes read from fd until count have come or timeoutMs have passed.
Bytes ReadFor(int fd, std::size_t count, int timeoutMs);
void WriteAll(int fd, const Bytes& bytes);
// One byte through a pipe, to say "ready" or "go on" across a fork.
void SendToken(int fd);
bool AwaitToken(int fd, int timeoutMs);

Bytes Counting(std::size_t count);  // 0, 1, 2, ... 255, 0, 1, ...

class Stopwatch {
public:
    [[nodiscard]] double Ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A forked process that runs body and ends; killed and reaped at the latest
// when this goes away.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<void()>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] pid_t Pid() const { return pid_; }
    // The wait status once it has ended.
    int Reap();
    // Still running after a short grace time?
    bool RunsOnAfter(int graceMs);

private:
    pid_t pid_ = -1;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace vardel::test
