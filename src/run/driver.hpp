// The master's driver: reads the deck layer by layer and runs tracking.
#pragma once

#include <cstdint>

#include "forces/work.hpp"

namespace run {

// Called after every time step of a tracking run. The fuzz target passes
// one to bound the work of a deck (it may throw to abandon the deck).
using StepHook = void (*)();

// Runs the whole deck "tarvel.in" of the working directory on the master,
// with step_hook (when given) after every time step; the force models
// evaluate with the models' work work (the force entry installed with it,
// unless another entry is installed already). Returns 0 when the run ended
// cleanly ("exit" or the end of the deck after every layer succeeded), 1
// when it ended through a failure.
std::int32_t tarvel(forces::ModelWork& work, StepHook step_hook = nullptr);

// Prints the banner through the log.
void verifo();

}  // namespace run
