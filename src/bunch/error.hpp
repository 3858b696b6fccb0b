// Statistics of a set of particle records (7 reals per particle, particle 1
// first: p[7*(i-1) + k-1] is word k of particle i) over the active particles.
#pragma once

#include <cstdint>

#include "include/ftypes.hpp"

namespace bunch {

// Charge-weighted rms sizes of the active particles about particle 1 [m]:
// su along particle 1's direction of motion, sv across it in the horizontal
// plane, sz vertical. No active particle, or active charges summing to 0:
// all three are 0.
void rmspar(std::int32_t n, const double* p, const ftypes::Logical* lact, double& su,
            double& sv, double& sz);

// Step-error measure between two sets of the same particles (p2 the newer):
// e1 the rms horizontal displacement relative to the rms bunch length, e2
// the rms change of p relative to the rms spread of p. No active particle,
// no length spread or no momentum spread: both 0.
void error1(std::int32_t n, const double* p1, const double* p2, const ftypes::Logical* lact,
            double& e1, double& e2);

}  // namespace bunch
