// The life of a slave process after start-up: wait for a command from the
// master, obey it, wait again until told to stop.
#pragma once

#include <cstdint>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace run {

// The slave side of one parallel force evaluation (arguments: force type
// code, the slave's particle records and index pairs, time c*t in m, its
// forces, status), filled from the master by the evaluation itself:
// forces::frcims, or a stand-in of the tests.
using ParallelForcesFn = void (*)(std::int32_t& itype, foundation::ParticleView xp,
                                  foundation::IndexView ip, double& ct, foundation::ForceView f,
                                  std::int32_t& ierr);
extern ParallelForcesFn parallel_forces_hook;

// The slave command loop: "tracker" receives the run state, "parallel
// forces" takes part in one force evaluation, "stopp" returns; any other
// text is ignored.
void slave();

// The slave's own static arrays of a force evaluation.
struct SlaveArrays : ftypes::NoCopy {
    ftypes::Arr2<double, 7, cap::maxprt> XP;        // particle records
    ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP;  // index pairs
    ftypes::Arr2<double, 3, cap::maxprt> F;         // partial forces
};
extern SlaveArrays slave_arrays;

}  // namespace run
