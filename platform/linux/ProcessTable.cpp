#include "platform/linux/ProcessTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "platform/linux/ProcEntries.h"

namespace vardel::linuxos {
namespace {

constexpr std::size_t kPathSize = 48;        // "/proc/<pid>/comm" and the like
constexpr std::size_t kNameBufferSize = 32;  // a name of 15 bytes and its newline
// "pid (name) S": the state letter lies well within this many bytes.
constexpr std::size_t kStatPrefixSize = 64;

// The start of /proc/PID/<leaf>, taken in one read; empty when unreadable.
std::string_view ReadProcFile(pid_t pid, const char* leaf, std::span<char> buffer) {
    char path[kPathSize];
    (void)std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), leaf);
    const UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return {};
    }
    ssize_t got = 0;
    do {
        got = ::read(fd.Get(), buffer.data(), buffer.size());
    } while (got < 0 && errno == EINTR);
    return got > 0 ? std::string_view(buffer.data(), static_cast<std::size_t>(got))
                   : std::string_view();
}

}  // namespace

bool ProcessTable::OpenProc() {
    if (!proc_.Valid()) {
        proc_.Reset(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return proc_.Valid();
}

pid_t ProcessTable::FindByName(std::string_view name) {
    // A longer name cannot be shown whole, so nothing matches it exactly.
    if (name.empty() || name.size() > kMaxNameLength || !OpenProc()) {
        return 0;
    }
    const pid_t self = ::getpid();
    const long found = FindEntry(proc_.Get(), entries_, [&](long pid) {
        return pid > 0 && pid != self && IsRunning(static_cast<pid_t>(pid), name);
    });
    return found > 0 ? static_cast<pid_t>(found) : 0;
}

bool ProcessTable::IsNamed(pid_t pid, std::string_view name) {
    char shown[kNameBufferSize];
    std::string_view comm = ReadProcFile(pid, "comm", shown);
    if (comm.empty()) {
        return false;
    }
    if (comm.back() == '\n') {
        comm.remove_suffix(1);
    }
    return comm == name;
}

bool ProcessTable::IsRunning(pid_t pid, std::string_view name) {
    return IsNamed(pid, name) && IsAlive(pid);
}

bool ProcessTable::IsAlive(pid_t pid) {
    char head[kStatPrefixSize];
    // The name may itself hold ')' or spaces; the state follows the last ')'.
    const std::string_view line = ReadProcFile(pid, "stat", head);
    const std::size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string_view::npos || nameEnd + 2 >= line.size()) {
        return false;
    }
    const char state = line[nameEnd + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

}  // namespace vardel::linuxos
