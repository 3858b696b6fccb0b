// The life of a slave process after start-up: wait for a command from the
// master, obey it, wait again until told to stop.
#pragma once

#include <cstdint>

#include "forces/model.hpp"
#include "forces/work.hpp"
#include "foundation/views.hpp"

namespace run {

// The slave side of one parallel force evaluation (arguments: the models'
// work of the process, force type code, the slave's particle records and
// index pairs, time c*t in m, the effective sub-bunch sizes, its forces,
// status), filled from the master by the evaluation itself: forces::frcims,
// or a stand-in of the tests.
using ParallelForcesFn = void (*)(forces::ModelWork& work, std::int32_t& itype, foundation::ParticleView xp,
                                  foundation::IndexView ip, double& ct, forces::SubBunchSizes& sizes,
                                  foundation::ForceView f, std::int32_t& ierr);

// The slave command loop with the models' work work of the process:
// "tracker" receives the run state, "parallel forces" takes part in one
// force evaluation (evaluate, with the slave's own arrays of the message
// layer), "stopp" returns; any other text is ignored.
void slave(forces::ModelWork& work, ParallelForcesFn evaluate);
// The same with forces::frcims.
void slave(forces::ModelWork& work);

}  // namespace run
