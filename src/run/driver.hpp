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

// Called after every time step of a tracking run; none by default. The fuzz
// target installs one to bound the work of a deck (it may throw to abandon
// the deck).
using StepHook = void (*)();
void set_step_hook(StepHook hook);

}  // namespace run
