// The search behind ListSerialPorts, on any tree laid out as /sys and /dev
// are, so that it can be tried on a scratch copy; and how a holder is named.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/SerialPorts.h"

namespace vardel::linuxos {

// The ports of sysRoot/class/tty that have a device with a driver behind them
// and a node under devRoot; their names under devRoot/serial/by-id and
// by-path; the USB maker and product of the nearest USB device above them.
// Holders are looked for only withHolders (it costs a look at every process).
std::vector<SerialPortInfo> ScanSerialPorts(const std::string& sysRoot, const std::string& devRoot,
                                            bool withHolders);

// "PID 1234 (minicom)": a process as a holder of a port is shown.
std::string DescribeProcess(pid_t pid);

}  // namespace vardel::linuxos
