// Particle tracking through the lattice: one leg of a particle to its next
// field boundary or to a target time (cstrck), many particles to a time with
// an interpolated self-force and the thin-quadrupole kicks (trck3d), and the
// crossing states of one particle at every boundary (fbpts).
//
// The particle state is the first six words of a particle record:
//   x, y, z (m), p (momentum in units of m*c), phi (azimuth, rad),
//   theta (elevation, rad).
// Time is c*t in metres. Force sets hold 3 reals per particle (m*c per m of
// c*t): along the horizontal direction of motion, horizontal transverse,
// vertical. Arrays are passed as pointers to their first element; particle
// arrays are column-major, 7 reals per particle (part), 2 integers per
// particle (ifb), 3 reals per particle (f1, f2).
#pragma once

#include <cstdint>

namespace lattice {

// Length of the parameter block handed to the right-hand sides:
//   t1, t2, f1(1..3), f2(1..3), B, R, m, xc, yc, v, strength*p0, alpha, a.
inline constexpr int npar_track = 17;

// Moves particles 1..n from ct to ctend (only when ct < ctend), keeping word 1
// of each ifb pair (the next boundary) up to date. The force acting on
// particle i is w*f1(.,i) + (1-w)*f2(.,i) with w = (t2 - c*t)/(t2 - t1) when
// lforce is true; no force otherwise. A thin quadrupole at a crossed boundary
// kicks the particle.
void trck3d(int n, double* part, std::int32_t* ifb, double ct, double ctend, double t1,
            double t2, const double* f1, const double* f2, bool lforce);

// One leg of one particle: from ct towards ctend (forward or backward in
// time) until the next boundary in the direction of motion is crossed or
// ctend is reached. part: 6 reals in/out; ifb: next boundary (moved by one
// on a crossing); lcross in: the previous leg crossed a boundary (apply the
// entry edge), out: this leg crossed; ct in/out: the time reached.
void cstrck(double* part, std::int32_t& ifb, bool& lcross, double& ct, double ctend, double t1,
            double t2, const double* f1, const double* f2, bool lforce);

// Right-hand sides d/d(c*t) of the six state variables in the lab frame
// (ctrder) and, for a uniform field, with variables 1 and 2 the deviation
// from the particle's ideal circle (ct2der). par: the parameter block above.
void ctrder(double ct, const double* y, double* dydct, const double* par, int n);
void ct2der(double ct, const double* y, double* dydct, const double* par, int n);

// Crossing states of one particle at every boundary, forward and backward in
// time from (part, ifb, ct), without force and without thin-quadrupole kicks:
// bp(1..6, i) the state and bp(7, i) the c*t of the crossing of boundary i,
// i = 1..nfb (bp column-major, 7 reals per boundary). part is not changed.
// A leg that does not end on its boundary is a fatal stop
// ("error in fbpts (1)" forward, "error in fbpts (2)" backward).
void fbpts(const double* part, std::int32_t ifb, double ct, double* bp);

// Thin-quadrupole kick at boundary b with the 4x4 matrix tm (column-major)
// acting on (u, u', z, z'), relative to the reference crossing point and
// tangent fbv = (xb, yb, tx, ty). part: 6 reals in/out.
void thin_kick(double* part, const double* tm, const double* fbv);

}  // namespace lattice
