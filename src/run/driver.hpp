// The master's driver: reads the deck layer by layer and runs tracking.
#pragma once

#include <cstdint>

namespace run {

// Runs the whole deck "tarvel.in" of the working directory on the master.
// Returns 0 when the run ended cleanly ("exit" or the end of the deck after
// every layer succeeded), 1 when it ended through a failure.
std::int32_t tarvel();

// Prints the banner through the log.
void verifo();

}  // namespace run
