// Particle tracking through the lattice: one leg of a particle to its next
// field boundary or to a target time (cstrck), many particles to a time with
// an interpolated self-force and the thin-quadrupole kicks (trck3d), and the
// crossing states of one particle at every boundary (fbpts).
//
// Reentrant: every routine keeps its work storage on its own stack frame, so
// a force model may track a source's path while a step is tracking the
// bunch; nothing is allocated. Each routine is given the lattice L it tracks
// through. Time is c*t in metres; p0 is the reference momentum of the bunch
// [m*c], which scales the element fields.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "foundation/views.hpp"

namespace lattice {

using foundation::ConstForceView;
using foundation::CrossingView;
using foundation::IndexView;
using foundation::ParticleView;
using foundation::State;

struct Latcom;

// The self-force acting on one particle during a leg, interpolated linearly
// in c*t: w*f1 + (1-w)*f2 with w = (t2 - c*t)/(t2 - t1) (w = 1 when t1 = t2).
// Components as in a force array [m*c per m of c*t].
struct LegForce {
    double t1 = 0.0, t2 = 1.0;
    std::array<double, 3> f1{}, f2{};
};

// No self-force.
inline constexpr LegForce no_force{};

// Moves the particles of part from ct to ctend (only when ct < ctend),
// keeping next(i) of ifb up to date. The force acting on particle i is
// interpolated between f1 (at t1) and f2 (at t2) when lforce is true; no
// force otherwise (f1 and f2 are then not read and may be empty). A thin
// quadrupole at a crossed boundary kicks the particle.
void trck3d(const Latcom& L, ParticleView part, IndexView ifb, double ct, double ctend, double t1, double t2,
            ConstForceView f1, ConstForceView f2, bool lforce, double p0);

// One leg of one particle: from ct towards ctend (forward or backward in
// time) until the next boundary in the direction of motion is crossed or
// ctend is reached. part: the state in/out; ifb: next boundary (moved by one
// on a crossing); lcross in: the previous leg crossed a boundary (apply the
// entry edge), out: this leg crossed; ct in/out: the time reached.
void cstrck(const Latcom& L, State part, std::int32_t& ifb, bool& lcross, double& ct, double ctend,
            const LegForce& force, double p0);

// Crossing states of one particle at every boundary, forward and backward in
// time from (part, ifb, ct), without force and without thin-quadrupole kicks:
// bp.state(i) and bp.ct(i) of the crossing of boundary i, i = 1..nfb (bp
// holds at least nfb records). part is not changed. A leg that does not end
// on its boundary is a fatal stop ("error in fbpts (1)" forward, "error in
// fbpts (2)" backward), after a line naming the particle (its number in
// the bunch when the caller gives it), where its leg started and the
// boundary it does not reach.
void fbpts(const Latcom& L, std::span<const double, 6> part, std::int32_t ifb, double ct, CrossingView bp,
           double p0, std::int32_t particle = 0);

// Thin-quadrupole kick with the 4x4 matrix tm (column-major) acting on
// (u, u', z, z'), relative to the reference crossing point and tangent
// fbv = (xb, yb, tx, ty). part: the state in/out.
void thin_kick(State part, const std::array<double, 16>& tm, const std::array<double, 4>& fbv);

}  // namespace lattice
