// Value types of the field library: the result of a field call, the limit
// of the plate images, and the vectors and the 15-component field sum of
// its stages, indexed from 1 like the formulas that fill them:
//   W(1..3)   electric-type field acting on the test particle
//   W(4..6)   magnetic field times c
//   W(7)      scalar-potential term of the line density lam, W(8..10) its vector-potential term
//   W(11)     the same for d lam/dt, W(12..14) its vector-potential term
//   W(15)     a mixed product, not returned by the library's entry
// Lengths in metres, times in seconds, fields in V/m after the final
// scaling by 1/(4 pi eps0).
#pragma once

#include <array>
#include <cstddef>
#include <span>

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

// Largest number of plate images summed on each side of the bunch
// (int(|hmax/hc|) + 1). A larger count ends the job.
inline constexpr double max_images = 1000.0;

// The 14 results of a field evaluation, in the path frame (components 1..3
// are x, y, z of the path frame), scaled like fields [V/m]; word k of the
// result at w[k - 1].
struct FieldResult {
    std::array<double, 14> w;

    // electric field acting on the test particle [V/m]
    double E(int i) const { return w[std::size_t(i - 1)]; }
    // magnetic field times c [V/m]
    double cB(int i) const { return w[std::size_t(i + 2)]; }
    // scalar potential of the line density lam [V] and its vector potential
    // [V s/m]
    double phi() const { return w[6]; }
    double A(int i) const { return w[std::size_t(6 + i)]; }
    // their time derivatives [V/s, V/m] (the same integrals over d lam/dt)
    double dphi_dt() const { return w[10]; }
    double dA_dt(int i) const { return w[std::size_t(10 + i)]; }
    // word k = 1..14, for whole-result loops
    double word(int k) const { return w[std::size_t(k - 1)]; }
    // the horizontal electric field (E(1), E(2)), to be turned into the lab
    // frame in place (lattice::pthtr2)
    std::span<double, 2> E_horizontal() { return std::span<double, 2>(w.data(), 2); }
};

}  // namespace fieldlib
