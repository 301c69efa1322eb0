#include "bench/ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "bench/Interruption.h"

namespace vardel::bench {

namespace {

// How often memory is sampled, and so the longest a wait sleeps in one go.
constexpr std::chrono::milliseconds kSamplePeriod{50};

// Display variables are dropped: the program always runs offscreen here.
bool KeptInChild(std::string_view entry) {
    for (const std::string_view dropped : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) {
        if (entry.starts_with(dropped)) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (KeptInChild(*entry)) {
            entries.emplace_back(*entry);
        }
    }
    entries.emplace_back("QT_QPA_PLATFORM=offscreen");
    return entries;
}

// execve wants char* arrays, ended by a null pointer, built before the fork.
std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void BecomeProgram(pid_t parent, int input, int output, int errors,
                                const char* program, char** argv, char** envp) {
    // The child dies with the benchmark, however the benchmark ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);
    }
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    (void)signal(SIGPIPE, SIG_DFL);
    execve(program, argv, envp);
    _exit(127);
}

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

ChildProgram::~ChildProgram() { End(std::chrono::milliseconds{2000}); }

bool ChildProgram::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& errorLog, std::string& error) {
    std::array<int, 2> pipeEnds{};
    if (pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
        error = Reason("pipe");
        return false;
    }
    sim::UniqueFd readEnd(pipeEnds[0]);
    const sim::UniqueFd writeEnd(pipeEnds[1]);
    const sim::UniqueFd input(open("/dev/null", O_RDONLY | O_CLOEXEC));
    const sim::UniqueFd errors(
        open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!input.Valid() || !errors.Valid()) {
        error = Reason("open /dev/null or " + errorLog);
        return false;
    }
    std::vector<std::string> argvTexts{program};
    argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envTexts = ChildEnvironment();
    std::vector<char*> argv = Pointers(argvTexts);
    std::vector<char*> envp = Pointers(envTexts);

    const pid_t parent = getpid();
    startedAt_ = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        error = Reason("fork");
        return false;
    }
    if (pid == 0) {
        BecomeProgram(parent, input.Get(), writeEnd.Get(), errors.Get(), program.c_str(),
                      argv.data(), envp.data());
    }
    pid_ = pid;
    output_ = std::move(readEnd);
    return true;
}

bool ChildProgram::AwaitLine(const std::vector<std::string_view>& prefixes,
                             Clock::time_point deadline) {
    std::size_t looked = 0;
    return Until(
        [&] {
            for (; looked < lines_.size(); ++looked) {
                for (const std::string_view prefix : prefixes) {
                    if (std::string_view{lines_[looked].text}.starts_with(prefix)) {
                        return true;
                    }
                }
            }
            return false;
        },
        deadline);
}

bool ChildProgram::AwaitCondition(const std::function<bool()>& done, Clock::time_point deadline) {
    return Until(done, deadline);
}

bool ChildProgram::Watch(Clock::time_point until) {
    Until([] { return false; }, until);
    return Running() && !Interrupted();
}

bool ChildProgram::AwaitExit(Clock::time_point deadline) {
    return Until([this] { return !Running() && !output_.Valid(); }, deadline);
}

void ChildProgram::End(std::chrono::milliseconds grace) {
    if (!Running()) {
        Reap(false);
        return;
    }
    SamplePeak();
    kill(pid_, SIGTERM);
    // The grace period runs even when interrupted: the program gets its chance
    // to close the port.
    const Clock::time_point deadline = Clock::now() + grace;
    while (Running() && Clock::now() < deadline) {
        Pump(deadline);
    }
    if (Running()) {
        kill(pid_, SIGKILL);
        Reap(true);
    }
}

std::optional<Clock::time_point> ChildProgram::FirstLineAt(std::string_view prefix) const {
    const auto line = std::find_if(lines_.begin(), lines_.end(), [prefix](const OutputLine& l) {
        return std::string_view{l.text}.starts_with(prefix);
    });
    if (line == lines_.end()) {
        return std::nullopt;
    }
    return line->at;
}

bool ChildProgram::Until(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        if (done()) {
            return true;
        }
        const bool over = !Running() && !output_.Valid();
        if (over || Interrupted() || Clock::now() >= deadline) {
            return false;
        }
        Pump(deadline);
    }
}

// One round of waiting: for output while the pipe is open, otherwise a short
// sleep; then the memory sample and a look whether the program has ended.
void ChildProgram::Pump(Clock::time_point until) {
    const Clock::time_point wakeAt = std::min(until, Clock::now() + kSamplePeriod);
    if (output_.Valid()) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        pollfd watched{output_.Get(), POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(std::max<long>(wait, 0))) > 0) {
            ReadOutput();
        }
    } else {
        std::this_thread::sleep_until(wakeAt);
    }
    SamplePeak();
    Reap(false);
}

void ChildProgram::ReadOutput() {
    std::array<char, 4096> buffer{};
    const ssize_t count = read(output_.Get(), buffer.data(), buffer.size());
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
        output_ = sim::UniqueFd();
        return;
    }
    if (count < 0) {
        return;
    }
    const Clock::time_point now = Clock::now();
    partial_.append(buffer.data(), static_cast<std::size_t>(count));
    std::size_t newline = 0;
    while ((newline = partial_.find('\n')) != std::string::npos) {
        lines_.push_back({now, partial_.substr(0, newline)});
        partial_.erase(0, newline + 1);
    }
}

void ChildProgram::SamplePeak() {
    if (!Running()) {
        return;
    }
    if (const auto kib = ReadPeakResidentKib(pid_)) {
        peakKib_ = std::max(peakKib_.value_or(0), *kib);
    }
}

void ChildProgram::Reap(bool block) {
    if (!Running()) {
        return;
    }
    int status = 0;
    pid_t result = 0;
    do {
        result = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_ || (result < 0 && errno == ECHILD)) {
        exited_ = true;
        waitStatus_ = status;
    }
}

}  // namespace vardel::bench
