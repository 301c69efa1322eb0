// The run of one unit: its own platform and engine on its serial device, the
// engine driven as soon as the MCU has bytes waiting or 5 ms have passed, and
// what the command line adds around it: a port that does not open fails at
// once, an MCU that stays silent longer than the time-out fails the unit, and
// a stop request ends it with the port released.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "flash/Display.h"
#include "flash/FirmwareFile.h"
#include "flash/UnitPlatform.h"
#include "flash/UnitResult.h"

namespace vardel::flash {

struct UnitSetup {
    std::size_t index = 0;  // the unit's place on the display
    std::string device;
    const Firmware* firmware = nullptr;  // the same bytes for every unit
    std::chrono::seconds timeout{10};
    bool reset = true;
    bool checkOnly = false;
    UnitPlatform::LineTap tap;  // each byte on the line, for the trace; may be empty
};

// Runs on the calling thread until the unit ends or `stop` is set; reports
// every event to display, the closing one included.
UnitResult RunUnit(const UnitSetup& setup, Display& display, const std::atomic<bool>& stop);

}  // namespace vardel::flash
