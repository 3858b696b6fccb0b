// Force type "projected": the bunch reduced to its line current along the
// reference particle's direction of motion, the one-dimensional CSR wake of
// the design line (optionally plus the wake_file's wake), and the resulting
// longitudinal force interpolated to every particle. Master only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "forces/force1_work.hpp"
#include "forces/model.hpp"
#include "foundation/capacities.hpp"
#include "foundation/views.hpp"
#include "lattice/latcom.hpp"

namespace forces {

// One evaluation of the projected model for the particles in.XP with their
// pairs in.IP (in.IP and F hold at least in.XP.size() particles; in.XP.size()
// is the bunch's npart). Reads the evaluation's sigma_long (in.sizes); of
// the settings shield, shield_max, par1, par2, par4, par5, the wake data,
// lwake, ltest; of the lattice fb, nfb, srtab, nfbchg; the reference
// momentum and the flags.
// F receives the longitudinal force in F.along and zeros in F.left and
// F.vert. Status 0 on success; on any failure the lines of the failure and
// "error in force1" are logged, the status is 1 and F is zero. A diagnostic
// file of the test switch that cannot be written is no failure of the model
// (fcdiag.hpp); work holds the model's arrays and counts such files.
[[nodiscard]] std::int32_t force1(const ModelInput& in, foundation::ForceView F, ModelWork& work);

// Reference point of particle 1 on the lattice line (the lattice's
// boundaries, walked from its next boundary): its path length s1 [m] and
// the line's unit tangent (tx, ty) there. The lattice holds at least one
// boundary.
void refpnt(const lattice::Latcom& L, foundation::ConstParticleView XP, foundation::ConstIndexView IP, double& s1,
            double& tx, double& ty);

// The force grid of one evaluation: point k = 1..nsam at c*t = (ng1+k-1)*h.
struct Fc1Grid {
    double sp;  // rms of each particle's Gaussian in c*t [m]
    double h;   // grid step 0.2*sp [m]
    int ng1, ng2, nsam;
};

// Adds the current [A] of Gaussians of rms g.sp carrying the charges q [C]
// at the times ct [m], cut at +-5 rms, to cur(1..g.nsam) (cur[0] is point
// 1). mom is work space of 2 * nmom * g.nsam values for bunches of many
// particles per grid point (an empty span does without).
void fc1dep(std::span<const double> q, std::span<const double> ct, const Fc1Grid& g, std::span<double> cur,
            std::span<double> mom);

// Smooths the c*t of the charged particles (cts, charges in bunch order)
// when nint(par1) /= 0 and nint(par2) >= 2 and all charges are equal: the
// times are sorted and replaced by moving means of two widths. Returns
// false (nothing changed) otherwise.
bool fc1flt(std::span<double> cts, std::span<double> charges, std::span<double> sx, double par1,
            double par2);

// Moving mean of X(k - n .. k + n) with a fractional half-width that tapers
// towards both ends; sx(1..m+1) are the cumulative sums of X(1..m) from 0
// (sx[0] = 0). k = 1..m.
double fc1fl2(std::span<const double> sx, int m, int k, double width);

// Sorts keys ascending, the carried array following them (the program's
// keyed sort).
void rsort2(std::span<double> keys, std::span<double> carried);

}  // namespace forces
