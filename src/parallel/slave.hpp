// The life of a slave process after start-up: wait for a command from the
// master, obey it, wait again until told to stop.
#pragma once

#include <cstdint>

#include "include/capacities.hpp"
#include "include/ftypes.hpp"

namespace parallel {

// The slave side of one parallel force evaluation (arguments: force type,
// particle records xp(7, maxprt), index pairs ip(2, maxprt), time c*t in m,
// forces f(3, maxprt), status). The force subsystem installs its routine
// here before the slave loop runs; the arrays are the slave's own static
// ones, filled from the master by the evaluation itself.
using ParallelForcesFn = void (*)(std::int32_t& itype, double* xp, std::int32_t* ip, double& ct,
                                  double* f, std::int32_t& ierr);

// The routine the slave loop calls on "parallel forces". Until the force
// subsystem replaces it, it is a fatal stop: no parallel force model is
// built into the program.
extern ParallelForcesFn parallel_forces_hook;

// The slave command loop: "tracker" receives the run state, "parallel
// forces" takes part in one force evaluation, "stopp" returns; any other
// text is ignored.
void slave();

// The slave's own static arrays of a force evaluation.
struct SlaveArrays {
    ftypes::Arr2<double, 7, cap::maxprt> XP;        // particle records
    ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP;  // index pairs
    ftypes::Arr2<double, 3, cap::maxprt> F;         // partial forces
};
extern SlaveArrays slave_arrays;

}  // namespace parallel
