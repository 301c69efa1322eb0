// A pseudo-terminal that stands in for the unit's serial device: the
// simulated MCU works on the master side, the host opens the slave side by
// its path, or by a symbolic link that takes the place of the real device.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/UniqueFd.h"

namespace vardel::sim {

// The Linux platform's descriptor owner: the simulator runs only on Linux.
using linuxos::UniqueFd;

class PseudoTerminal {
public:
    // Opens a master, sets its slave raw, so that no byte is changed on the
    // way before the host applies its own settings, and lets go of the slave,
    // as a real device is held by nobody until the host opens it (the host
    // counts any other holder as a program using its port). Until then, and
    // after the host has closed it, the master reads EIO; the Line copes.
    // nullopt and a reason in `error` on failure.
    static std::optional<PseudoTerminal> Open(std::string& error);

    int Master() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }

private:
    PseudoTerminal(UniqueFd master, std::string slavePath);

    UniqueFd master_;
    std::string slavePath_;
};

// A symbolic link at `path` to `target`, made in one step (an earlier symbolic
// link there, say one left by a run that was killed, is replaced), and
// removed when this goes if it still points to `target`. Anything at `path`
// that is not a symbolic link is left alone and the link is not made.
class DeviceLink {
public:
    static std::optional<DeviceLink> Make(const std::string& path, const std::string& target,
                                          std::string& error);
    ~DeviceLink();
    DeviceLink(DeviceLink&& other) noexcept;
    DeviceLink& operator=(DeviceLink&& other) noexcept;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    const std::string& Path() const { return path_; }

private:
    DeviceLink(std::string path, std::string target);
    void Remove();

    std::string path_;
    std::string target_;
};

}  // namespace vardel::sim
