// The particle-to-particle model "csr_p_to_p": every active particle is a
// source; the field of a Gaussian sub-bunch of the current effective sizes
// moving along the source's own design path is evaluated at every particle
// that receives forces, weighted by the source's charge and summed.
//
// Runs on every process inside frcims: each process evaluates the fields at
// its own share of the targets (target j on process mod(j, nprocs) + 1, the
// same share for every source), so every target is computed wholly on one
// process and the sum onto the master is exact for any process count.
#pragma once

#include <cstdint>

#include "bunch/forces.hpp"
#include "forces/model.hpp"
#include "foundation/views.hpp"

namespace forces {

// Forces F of the particle records in.XP with their pairs in.IP at the
// time ct (c*t, m), all of the bunch's npart records: F(1) along the
// horizontal direction of motion, F(2) to its left, F(3) = 0 [m*c per m of
// c*t]. The sum is valid on the master; on a slave F holds undefined values
// afterwards. Collective: every process calls it with the same count.
// Status 0: "fc2.dat" of the test switch that cannot be written is named
// in a warning (fcdiag.hpp) and the forces stand. The type argument is that
// of the model table; work.p2p receives the counts of the evaluation.
void force2(bunch::ForceType type, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& work,
            std::int32_t& ierr);

}  // namespace forces
