// Kinematics of a particle of the electron's mass from its momentum p in
// units of m*c (p = beta*gamma).
#pragma once

#include <cmath>

namespace foundation {

// Lorentz factor gamma = sqrt(p^2 + 1).
inline double gamma_of(double p) { return std::sqrt(p * p + 1.0); }

// Speed in units of c, beta = p/sqrt(p^2 + 1) (this rounding order; the
// tracker's steps use 1/sqrt(1/p^2 + 1), which differs in the last bit).
inline double beta_of(double p) { return p / std::sqrt(p * p + 1.0); }

}  // namespace foundation
