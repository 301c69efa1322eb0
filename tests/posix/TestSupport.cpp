#include "tests/posix/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

namespace vardel::test {

Pty::Pty() {
    int m = -1;
    int s = -1;
    char name[128] = {};
    if (::openpty(&m, &s, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty: " << std::strerror(errno);
        return;
    }
    ::fcntl(m, F_SETFD, FD_CLOEXEC);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
    master.Reset(m);
    slave.Reset(s);
    slavePath = name;
}

Pipe::Pipe() {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return;
    }
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
}

Bytes ReadFor(int fd, std::size_t count, int timeoutMs) {
    Bytes got;
    const Stopwatch clock;
    std::uint8_t chunk[4096];
    while (got.size() < count) {
        const int left = timeoutMs - static_cast<int>(clock.Ms());
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&entry, 1, left) <= 0) {
            break;
        }
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            break;
        }
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

void WriteAll(int fd, const Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ASSERT_GT(n, 0) << std::strerror(errno);
        sent += static_cast<std::size_t>(n);
    }
}

void SendToken(int fd) {
    const char token = '!';
    while (::write(fd, &token, 1) < 0 && errno == EINTR) {
    }
}

bool AwaitToken(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    char token = 0;
    return ::poll(&entry, 1, timeoutMs) > 0 && ::read(fd, &token, 1) == 1;
}

Bytes Counting(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

ChildProcess::ChildProcess(const std::function<void()>& body) {
    pid_ = ::fork();
    if (pid_ == 0) {
        body();
        ::_exit(0);
    }
    if (pid_ < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap();
    }
}

int ChildProcess::Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

bool ChildProcess::RunsOnAfter(int graceMs) {
    ::usleep(static_cast<useconds_t>(graceMs) * 1000);
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vardel-posix-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

}  // namespace vardel::test
