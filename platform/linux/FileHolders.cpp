#include "platform/linux/FileHolders.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/linux/ProcEntries.h"

namespace vardel::linuxos {
namespace {

constexpr std::size_t kNameSize = 48;  // "<pid>/fdinfo/<fd>" and the like
constexpr std::string_view kDeviceFolder = "/dev/";
constexpr std::string_view kFlagsField = "flags:";
constexpr int kOctal = 8;

// Where a descriptor points, as the kernel shows it; empty for none.
std::string LinkText(int dirFd, const char* name) {
    std::array<char, 4096> text{};
    const ssize_t got = ::readlinkat(dirFd, name, text.data(), text.size());
    if (got <= 0 || static_cast<std::size_t>(got) == text.size()) {
        return {};
    }
    return {text.data(), static_cast<std::size_t>(got)};
}

bool SameObject(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode)) {
        return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_rdev == b.st_rdev;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The access mode in /proc/PID/fdinfo/FD, from its octal "flags:" line.
bool OpenForWriting(int procFd, long pid, long fd) {
    char name[kNameSize];
    (void)std::snprintf(name, sizeof name, "%ld/fdinfo/%ld", pid, fd);
    const UniqueFd info(::openat(procFd, name, O_RDONLY | O_CLOEXEC));
    std::array<char, 256> text{};
    ssize_t got = -1;
    if (info.Valid()) {
        do {
            got = ::read(info.Get(), text.data(), text.size() - 1);
        } while (got < 0 && errno == EINTR);
    }
    if (got <= 0) {
        return false;
    }
    const std::string_view shown(text.data(), static_cast<std::size_t>(got));
    const std::size_t at = shown.find(kFlagsField);
    if (at == std::string_view::npos) {
        return false;
    }
    const long flags = std::strtol(text.data() + at + kFlagsField.size(), nullptr, kOctal);
    return (flags & O_ACCMODE) != O_RDONLY;
}

}  // namespace

bool FileHolders::OpenProc() {
    if (!proc_.Valid()) {
        proc_.Reset(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return proc_.Valid();
}

bool FileHolders::Describe(int ours, Access access, Target& target) const {
    char name[kNameSize];
    (void)std::snprintf(name, sizeof name, "self/fd/%d", ours);
    target.access = access;
    target.path = LinkText(proc_.Get(), name);
    return ::fstat(ours, &target.info) == 0;
}

// The link text is looked at first, so that only a descriptor that may be the
// same object is followed: following any other (a file on a network file
// system that has gone away) could hold the thread.
bool FileHolders::Refers(int fdDir, int procFd, long pid, long fd, const Target& target,
                         std::string& link) const {
    char name[kNameSize];
    (void)std::snprintf(name, sizeof name, "%ld", fd);
    link = LinkText(fdDir, name);
    const bool isDevice = S_ISCHR(target.info.st_mode) || S_ISBLK(target.info.st_mode);
    if (link.empty() || (link != target.path && !(isDevice && link.starts_with(kDeviceFolder)))) {
        return false;
    }
    struct stat info {};
    if (::fstatat(fdDir, name, &info, 0) != 0 || !SameObject(target.info, info)) {
        return false;
    }
    return target.access == Access::Any || OpenForWriting(procFd, pid, fd);
}

std::optional<Holder> FileHolders::Find(int ours, Access access) {
    Target target;
    if (!OpenProc() || !Describe(ours, access, target)) {
        return std::nullopt;
    }
    const long self = ::getpid();
    Holder holder;
    const long pid = FindEntry(proc_.Get(), processes_, [&](long candidate) {
        char name[kNameSize];
        (void)std::snprintf(name, sizeof name, "%ld/fd", candidate);
        const UniqueFd fdDir(candidate == self
                                 ? -1
                                 : ::openat(proc_.Get(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fdDir.Valid()) {
            return false;  // ourselves, gone, or another user's
        }
        const long fd = FindEntry(fdDir.Get(), descriptors_, [&](long number) {
            return Refers(fdDir.Get(), proc_.Get(), candidate, number, target, holder.link);
        });
        holder.fd = static_cast<int>(fd);
        return fd >= 0;
    });
    if (pid <= 0) {
        return std::nullopt;
    }
    holder.pid = static_cast<pid_t>(pid);
    return holder;
}

bool FileHolders::StillHolds(const Holder& holder, const struct stat& identity) {
    char path[kNameSize];
    (void)std::snprintf(path, sizeof path, "/proc/%d/fd/%d", static_cast<int>(holder.pid),
                        holder.fd);
    char link[4096];
    const ssize_t got = ::readlink(path, link, sizeof link);
    struct stat info {};
    return got > 0 && std::string_view(link, static_cast<std::size_t>(got)) == holder.link &&
           ::stat(path, &info) == 0 && SameObject(identity, info);
}

// The watch follows the descriptor's link in /proc to the very object it
// refers to, whatever name the holder opened it by.
void CloseWatch::Start(const Holder& holder) {
    events_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    char path[kNameSize];
    (void)std::snprintf(path, sizeof path, "/proc/%d/fd/%d", static_cast<int>(holder.pid),
                        holder.fd);
    constexpr std::uint32_t kLetGo = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_DELETE_SELF;
    if (events_.Valid() && ::inotify_add_watch(events_.Get(), path, kLetGo) < 0) {
        Stop();
    }
}

bool CloseWatch::Quiet() {
    if (!events_.Valid()) {
        return false;
    }
    alignas(inotify_event) char seen[4096];
    ssize_t got = 0;
    do {
        got = ::read(events_.Get(), seen, sizeof seen);
    } while (got < 0 && errno == EINTR);
    return got < 0 && errno == EAGAIN;
}

}  // namespace vardel::linuxos
