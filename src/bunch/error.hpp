// Statistics of a set of particle records over the active particles
// (lact(i) true), particle 1 the reference particle.
#pragma once

#include <span>

#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace bunch {

// Charge-weighted rms sizes of the active particles about particle 1 [m]:
// su along particle 1's direction of motion, sv across it in the horizontal
// plane, sz vertical. No active particle, or active charges summing to 0:
// all three are 0. lact holds at least p.size() flags.
void rmspar(foundation::ConstParticleView p, std::span<const ftypes::Logical> lact, double& su,
            double& sv, double& sz);

// Step-error measure between two sets of the same particles (p2 the newer):
// e1 the rms horizontal displacement relative to the rms bunch length, e2
// the rms change of p relative to the rms spread of p. No active particle,
// no length spread or no momentum spread: both 0.
void error1(foundation::ConstParticleView p1, foundation::ConstParticleView p2,
            std::span<const ftypes::Logical> lact, double& e1, double& e2);

}  // namespace bunch
