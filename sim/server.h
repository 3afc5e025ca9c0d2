// The simulated unit on a pseudo-terminal: the event loop that receives requests, paces
// replies and monitor frames at the line rate, injects faults and logs the line.
#pragma once

#include "sim/options.h"

namespace velmora::sim {

// Runs until SIGINT or SIGTERM; returns the process exit status.
int runSimulator(const SimOptions& options, const Image& initialImage);

} // namespace velmora::sim
