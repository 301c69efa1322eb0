// Linux: inotify on the folder of each pattern. A folder that is not there
// yet (/dev/serial/by-id comes with the first adapter that has a stable name,
// and goes with the last) is watched through its nearest parent until it is.
#include <glob.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/PortWatch.h"
#include "platform/linux/UniqueFd.h"

namespace vardel {
namespace {

// A name made, removed or renamed in a folder, a node's attributes changed
// (udev sets a new node's mode and group after making it), and the folder
// itself gone.
constexpr std::uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::filesystem::path FolderOf(const std::string& pattern) {
    const std::filesystem::path folder = std::filesystem::path(pattern).parent_path();
    return folder.empty() ? "." : folder;
}

class LinuxPortWatch final : public PortWatch {
public:
    LinuxPortWatch(std::vector<std::string> patterns, linuxos::UniqueFd events)
        : patterns_(std::move(patterns)), events_(std::move(events)) {
        WatchFolders();
    }

    std::vector<WatchedPort> Present() override {
        std::vector<WatchedPort> ports;
        std::map<dev_t, std::size_t> byDevice;
        for (const auto& pattern : patterns_) {
            glob_t found{};
            if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
                for (std::size_t i = 0; i < found.gl_pathc; ++i) {
                    const char* name = found.gl_pathv[i];
                    const auto device = DeviceOf(name);
                    if (!device) continue;
                    const auto [at, added] = byDevice.emplace(*device, ports.size());
                    if (added) ports.push_back({name, {}});
                    ports[at->second].names.emplace_back(name);
                }
            }
            ::globfree(&found);
        }
        return ports;
    }

    bool Wait(std::chrono::milliseconds limit) override {
        pollfd entry{events_.Get(), POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(limit.count())) <= 0) return false;
        Drain();
        WatchFolders();
        return true;
    }

private:
    // The number of the character device behind a name; links followed.
    static std::optional<dev_t> DeviceOf(const char* path) {
        struct stat node {};
        if (::stat(path, &node) != 0 || !S_ISCHR(node.st_mode)) return std::nullopt;
        return node.st_rdev;
    }
    void Drain() {
        alignas(inotify_event) std::array<char, 4096> buffer{};
        while (::read(events_.Get(), buffer.data(), buffer.size()) > 0) {
        }
    }
    // Watching a folder again is harmless: the system keeps one watch.
    void WatchFolders() {
        for (const auto& pattern : patterns_) {
            std::filesystem::path folder = FolderOf(pattern);
            while (::inotify_add_watch(events_.Get(), folder.c_str(), kFolderChanges) < 0) {
                const std::filesystem::path parent = FolderOf(folder.string());
                if (parent == folder) break;  // "/" or "."
                folder = parent;
            }
        }
    }

    std::vector<std::string> patterns_;
    linuxos::UniqueFd events_;
};

}  // namespace

std::unique_ptr<PortWatch> WatchPorts(const std::vector<std::string>& patterns,
                                      std::string& error) {
    linuxos::UniqueFd events(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!events.Valid()) {
        error = std::string("cannot watch for ports: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<LinuxPortWatch>(patterns, std::move(events));
}

std::vector<std::string> DefaultPortPatterns() {
    return {"/dev/serial/by-id/*", "/dev/ttyUSB*", "/dev/ttyACM*"};
}

}  // namespace vardel
