// The bunch: up to maxprt macro-particles sharing one time, with the
// reference momentum of the beam line, the charge summary, the rms sizes and
// the per-particle flags.
//
// Particle record (7 reals per particle, column j of xptcl is particle j):
//   1 x, 2 y   horizontal position in the bending plane [m]
//   3 z        vertical position [m]
//   4 p        momentum magnitude in units of m*c (beta*gamma)
//   5 phi      azimuth of the momentum in the x-y plane, atan2(py,px) [rad]
//   6 theta    elevation of the momentum, asin(pz/|p|) [rad]
//   7 q        charge of the macro-particle [C]
// Particle 1 is the reference particle.
//
// The record is one global object in zero-filled storage; iniprt gives it
// its start values. No member has a nonzero default initialiser, so the
// particle arrays are not touched until used.
#pragma once

#include <cstdint>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace bunch {

struct Prtcls : ftypes::NoCopy {
    double reference_point_x;    // x of the input frame's reference point [m]
    double reference_point_y;    // y of the reference point [m]
    double reference_point_phi;  // rotation of the input frame [rad]
    ftypes::Arr2<double, 7, cap::maxprt> xptcl;  // particle records
    double ctptcl;               // time of the whole bunch, c*t [m]
    double p0;                   // reference momentum [m*c]
    double qtot;                 // magnitude of the summed active charge [C]
    double rmslon;               // rms size along the motion [m]
    double rmsrad;               // rms size across, horizontal [m]
    double rmsver;               // rms size vertical [m]
    ftypes::Arr2<std::int32_t, 2, cap::maxprt> iptcl;  // word 1: next field boundary; word 2: 0
    std::int32_t npart;          // particles in use, 0..maxprt
    std::int32_t qsign;          // sign of the bunch charge, +1 or -1
    ftypes::Logical lfbidx;      // word 1 of iptcl is valid for the present particles
    ftypes::Arr1<ftypes::Logical, cap::maxprt> ldef;  // particle defined (receives the self-force)
    ftypes::Arr1<ftypes::Logical, cap::maxprt> lact;  // particle active (field source, counted)
};

extern Prtcls prtcls;

}  // namespace bunch
