// The serial ports of this machine, as `vardel-flash --list-ports` shows
// them: the device a user names with --port, its other names, what drives it,
// and who has it open.
#pragma once

#include <string>
#include <vector>

namespace vardel {

struct SerialPortInfo {
    std::string device;                // what --port takes: "/dev/ttyUSB0", "COM3"
    std::vector<std::string> aliases;  // other names of the same device (/dev/serial/by-id/...)
    std::string description;           // driver, USB maker and product where known; may be empty
    std::string holder;                // "PID 1234 (minicom)" while another process has it open
    int latencyTimerMs = 0;            // a USB adapter's latency timer; 0 when it has none
    // When the timer is above 1 ms and this program cannot lower it by
    // itself: what the user can do about it.
    std::string latencyFix;
};

// The serial ports of this machine that have a driver behind them, sorted by
// device (ttyUSB2 before ttyUSB10, COM2 before COM10).
std::vector<SerialPortInfo> ListSerialPorts();

// "PID 1234 (minicom)" when another process has the device open; "" otherwise
// (always "" on Windows, where nobody else can have it open while we look).
std::string DescribePortHolder(const std::string& device);

// Puts ports in device order, the numbers within names compared as numbers.
void SortSerialPorts(std::vector<SerialPortInfo>& ports);

}  // namespace vardel
