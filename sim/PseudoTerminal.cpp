#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vardel::sim {

namespace {

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B38400);
    cfsetospeed(&settings, B38400);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::string SlaveName(int master) {
    std::array<char, 128> name{};
    if (ptsname_r(master, name.data(), name.size()) != 0) {
        return {};
    }
    return name.data();
}

std::string LinkTarget(const std::string& path) {
    std::array<char, 4096> target{};
    const auto length = readlink(path.c_str(), target.data(), target.size() - 1);
    if (length < 0) {
        return {};
    }
    return std::string(target.data(), static_cast<std::size_t>(length));
}

}  // namespace

PseudoTerminal::PseudoTerminal(UniqueFd master, std::string slavePath)
    : master_(std::move(master)), slavePath_(std::move(slavePath)) {}

std::optional<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.Valid()) {
        error = Reason("posix_openpt");
        return std::nullopt;
    }
    fcntl(master.Get(), F_SETFD, FD_CLOEXEC);
    if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) {
        error = Reason("grantpt/unlockpt");
        return std::nullopt;
    }
    std::string slavePath = SlaveName(master.Get());
    if (slavePath.empty()) {
        error = Reason("ptsname_r");
        return std::nullopt;
    }
    // The settings stay with the terminal after the slave is closed, for as
    // long as the master is open.
    const UniqueFd slave(open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.Valid()) {
        error = Reason("open " + slavePath);
        return std::nullopt;
    }
    if (!MakeRaw(slave.Get())) {
        error = Reason("raw settings on " + slavePath);
        return std::nullopt;
    }
    return PseudoTerminal(std::move(master), std::move(slavePath));
}

DeviceLink::DeviceLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target)) {}

DeviceLink::DeviceLink(DeviceLink&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)) {
    other.path_.clear();
}

std::optional<DeviceLink> DeviceLink::Make(const std::string& path, const std::string& target,
                                           std::string& error) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = path + " exists and is not a symbolic link; left alone";
        return std::nullopt;
    }
    // Made under a temporary name and renamed over the old link, so that the
    // path never points nowhere in between.
    const std::string temporary = path + ".new-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = Reason("symlink " + temporary);
        return std::nullopt;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = Reason("rename to " + path);
        unlink(temporary.c_str());
        return std::nullopt;
    }
    return DeviceLink(path, target);
}

DeviceLink& DeviceLink::operator=(DeviceLink&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::exchange(other.path_, {});
        target_ = std::move(other.target_);
    }
    return *this;
}

DeviceLink::~DeviceLink() { Remove(); }

// Another run may have taken the path over since; its link stays.
void DeviceLink::Remove() {
    if (!path_.empty() && LinkTarget(path_) == target_) {
        unlink(path_.c_str());
    }
    path_.clear();
}

}  // namespace vardel::sim
