// A host that answers every block request the moment it has read it, with no
// timer and no window: what the simulated line allows at best. Set against
// it, the program's own share of the transfer time shows.
#pragma once

#include <string>

#include "bench/ProcessProbe.h"
#include "sim/WireFrames.h"

namespace vardel::bench {

// Opens `device` (the link to the simulator's terminal), sends the
// enter-upgrade frame, answers each request for a block of `image` with its
// data frame, and sends the reset frame after the completion request. False
// and `error` if the completion did not come by `deadline`.
bool PlayInstantHost(const std::string& device, const sim::Bytes& image, Clock::time_point deadline,
                     std::string& error);

}  // namespace vardel::bench
