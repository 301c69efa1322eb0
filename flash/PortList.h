// What `vardel-flash --list-ports` prints of the machine's serial ports.
#pragma once

#include <ostream>
#include <vector>

#include "platform/SerialPorts.h"

namespace vardel::flash {

// The lines `vardel-flash --list-ports` prints: plain, or with json one JSON
// object a line ({"event":"port","port":...,"aliases":[...],"description":...,
// "holder":...,"latency_timer_ms":...,"latency_fix":...}, the last two only
// where known). Bytes that are not UTF-8 are replaced, never fatal.
void PrintSerialPorts(const std::vector<SerialPortInfo>& ports, std::ostream& out, bool json);

}  // namespace vardel::flash
