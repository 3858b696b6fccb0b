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

#include "foundation/constants.hpp"
#include "foundation/ftypes.hpp"

namespace fieldlib {

using V3 = ftypes::Arr1<double, 3>;
using W15 = ftypes::Arr1<double, 15>;

// Scalar and vector product of two 3-vectors.
inline double dot(const V3& a, const V3& b) { return a(1) * b(1) + a(2) * b(2) + a(3) * b(3); }

inline V3 cross(const V3& a, const V3& b) {
    V3 c;
    c(1) = a(2) * b(3) - a(3) * b(2);
    c(2) = a(3) * b(1) - a(1) * b(3);
    c(3) = a(1) * b(2) - a(2) * b(1);
    return c;
}

using foundation::clight;  // m/s
using foundation::pi;

}  // namespace fieldlib
