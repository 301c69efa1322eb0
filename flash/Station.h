// vardel-flash --watch: a flashing station. Each port that appears among the
// watched ones becomes a slot, and the unit behind it is flashed once. Nothing
// on the line tells a new unit from the one just flashed, and the
// enter-upgrade frame starts an upgrade on whatever MCU hears it, so a slot is
// flashed again only when its port has gone and come back after its unit
// ended, or when the operator presses Enter. A port that goes away in the
// middle of an upgrade is a pulled cable: the unit waits for it (--timeout).
#pragma once

#include "flash/Options.h"

namespace vardel::flash {

// Runs until the user stops it; the exit status (130 when a unit was cut in
// the middle of its upgrade, 0 otherwise; 2 when it could not start).
int RunStation(const Options& options);

}  // namespace vardel::flash
