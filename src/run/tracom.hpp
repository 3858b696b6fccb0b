// The run-state transfer after the command "tracker": the master sends the
// lattice, the bunch, the tracker end times and the model settings of the
// force record and the Green's-function stamp to every slave, one after the
// other; a slave receives them into its own records.
#pragma once

#include <cstdint>

#include "forces/work.hpp"

namespace run {

// Master: zzzcom for each slave in increasing process number. Slave: zzzcom
// with the master. One process: nothing. The Green's-function stamp is that
// of the models' work work of the process.
void tracom(forces::ModelWork& work);

// The 25 messages of the transfer between the master and process iproc, in
// the order of the message table of tracom.cpp; every message takes the
// pair's next tag. Arrays travel as far as they are filled (boundaries,
// private data, particles in use); a slave checks each array's length
// against its count (a mismatch is a fatal stop).
void zzzcom(forces::ModelWork& work, std::int32_t iproc);

}  // namespace run
