// Value types of the field library. Vectors and the 15-component field sum
// are indexed from 1, like the formulas that fill them:
//   W(1..3)   electric-type field acting on the test particle
//   W(4..6)   magnetic field times c
//   W(7)      scalar-potential term of the line density lam, W(8..10) its vector-potential term
//   W(11)     the same for d lam/dt, W(12..14) its vector-potential term
//   W(15)     a mixed product, not returned by the library's entry
// Lengths in metres, times in seconds, fields in V/m after the final
// scaling by 1/(4 pi eps0).
#pragma once

#include "foundation/ftypes.hpp"

namespace fieldlib {

using V3 = ftypes::Arr1<double, 3>;
using W15 = ftypes::Arr1<double, 15>;

// Speed of light [m/s].
inline constexpr double clight = 299792458.0;

}  // namespace fieldlib
