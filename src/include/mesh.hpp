// The mesh models' record: the observers and boxes of the mesh models and
// the stamp of the stored Green's function. The run-state transfer sends
// ctgreen and lgreen to the slaves and gmeshi drops the stored function.
//
// One instance per process in zero-filled static storage (about 20 MB at
// full capacity); a run touches only the entries of the observers and
// boxes it has, so a small run stays small. The record cannot be copied.
#pragma once

#include <cstdint>

#include "include/capacities.hpp"
#include "include/ftypes.hpp"

namespace forces {

inline constexpr int maxpol = 20;  // vertices of the observer and region polygons

struct Mesh {
    Mesh() = default;
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    ftypes::Arr2<double, 2, maxpol> poly;  // observer polygon (x, y) relative to (xoff, yoff) [m]
    double xorig, yorig;     // origin of the box frame: particle 1's position [m]
    double cosref, sinref;   // direction of the box frame's u axis (particle 1's azimuth)
    double gamref;           // Lorentz factor of particle 1
    double betref;           // speed of particle 1 [c]
    double phiref;           // azimuth in which the observer fields are expressed [rad]
    // per observer: its position (x - xoff, y - yoff, 0) [m] while the
    // observers are built, then its field (along phiref, to its left, c*B) [V/m]
    ftypes::Arr2<double, 3, cap::maxprt> fobs;
    double xoff, yoff;       // particle 1's position, subtracted from the observers [m]
    double ctgreen;          // c*t [m] at which the stored Green's function was computed
    double umin, umax, vmin, vmax;  // extent of the box grid in the box frame [m]
    double du, dv;           // box length along u and width along v [m]
    ftypes::Arr1<std::int32_t, cap::maxprt> ipt;  // per particle: its box, else its observer
    std::int32_t nobs;       // observers
    // per box: (1) grid number of its lower-left corner, (2)..(5) observers
    // at its corners (u,v), (u+1,v), (u,v+1), (u+1,v+1). 64-bit: grid numbers
    // run up to nu1*nv1, beyond 32 bits for a long bunch of short boxes.
    ftypes::Arr2<std::int64_t, 5, cap::maxprt> ibox;
    std::int32_t nbox;       // boxes
    std::int32_t nu1, nv1;   // grid lines along u and v (boxes + 1)
    std::int64_t ncorn;      // grid points, nu1*nv1
    ftypes::Arr1<ftypes::Logical, cap::maxprt> linbox;  // per particle: interpolated from its box
    ftypes::Logical lgreen;  // the stored Green's function is valid
};

extern Mesh mesh;

}  // namespace forces
