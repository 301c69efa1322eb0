// Running processes found by their short name, the one /proc/PID/comm shows
// (at most 15 bytes). This is how another program is found on Linux: the
// navigation program is a process, not a window class.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>

#include "platform/linux/UniqueFd.h"

namespace vardel::linuxos {

class ProcessTable {
public:
    // The kernel cuts a process name to this many bytes.
    static constexpr std::size_t kMaxNameLength = 15;

    // The first live process, other than this one, whose name is exactly
    // name; 0 when there is none. Called many times a second while the
    // serial port stays closed, so a scan reuses one directory buffer and
    // allocates nothing.
    pid_t FindByName(std::string_view name);

    // Whether pid is (still) a process named exactly name.
    [[nodiscard]] static bool IsNamed(pid_t pid, std::string_view name);
    // The same, and not a process that has ended but not yet been reaped.
    [[nodiscard]] static bool IsRunning(pid_t pid, std::string_view name);

private:
    [[nodiscard]] static bool IsAlive(pid_t pid);
    bool OpenProc();

    UniqueFd proc_;
    alignas(8) char entries_[8192] = {};
};

}  // namespace vardel::linuxos
