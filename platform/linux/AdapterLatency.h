// The latency timer of a USB serial adapter (FTDI's chips): the adapter
// holds received bytes until its buffer fills or the timer fires, so a short
// block request reaches the host up to that long after the MCU sent it. The
// driver shows the timer in sysfs, beside the tty's device.
#pragma once

#include <optional>
#include <string>

namespace vardel::linuxos {

struct LatencyTimer {
    int ms = 0;
    bool writable = false;  // by this process
    std::string path;       // the sysfs file
};

inline constexpr int kLowestLatencyMs = 1;

// The timer of the tty named ttyName ("ttyUSB0"), looked up under sysRoot;
// none for a tty that has no timer.
std::optional<LatencyTimer> ReadLatencyTimer(const std::string& ttyName,
                                             const std::string& sysRoot = "/sys");

// Sets the timer of the adapter behind `device` (a node or a link to one,
// e.g. a /dev/serial/by-id name) to 1 ms where it is above and this process
// may write it.
void LowerLatencyTimer(const std::string& device, const std::string& sysRoot = "/sys");

}  // namespace vardel::linuxos
