// Force type "projected": the bunch reduced to its line current along the
// reference particle's direction of motion, the one-dimensional CSR wake of
// the design line (optionally plus the wake_file's wake), and the resulting
// longitudinal force interpolated to every particle. Master only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace forces {

// Particle records of the bunch, 7 words per particle, particle j = 1..count().
class PartView {
public:
    explicit PartView(std::span<const double> words) : w_(words) {}
    int count() const { return int(w_.size() / 7); }
    double x(int j) const { return at(j, 0); }      // horizontal position [m]
    double y(int j) const { return at(j, 1); }      // horizontal position [m]
    double p(int j) const { return at(j, 3); }      // momentum [m*c]
    double q(int j) const { return at(j, 6); }      // charge [C]

private:
    double at(int j, int k) const { return w_[std::size_t(7) * std::size_t(j - 1) + std::size_t(k)]; }
    std::span<const double> w_;
};

// Index pairs of the bunch, 2 words per particle: the next field boundary.
class PairView {
public:
    explicit PairView(std::span<const std::int32_t> words) : w_(words) {}
    int count() const { return int(w_.size() / 2); }
    std::int32_t next_boundary(int j) const { return w_[std::size_t(2) * std::size_t(j - 1)]; }

private:
    std::span<const std::int32_t> w_;
};

// Force array, 3 words per particle: along the motion, across it (to the
// left), vertical; m*c per metre of c*t.
class ForceView {
public:
    explicit ForceView(std::span<double> words) : w_(words) {}
    int count() const { return int(w_.size() / 3); }
    double& along(int j) { return w_[std::size_t(3) * std::size_t(j - 1)]; }
    double& across(int j) { return w_[std::size_t(3) * std::size_t(j - 1) + 1]; }
    double& vert(int j) { return w_[std::size_t(3) * std::size_t(j - 1) + 2]; }
    std::span<double> words() { return w_; }

private:
    std::span<double> w_;
};

// One evaluation of the projected model for the particles XP with their
// pairs IP (IP and F hold at least XP.count() particles; XP.count() is the
// bunch's npart). Reads forces (sigma_long, shield, shield_max, par1, par2,
// par4, par5, the wake data, lwake, ltest), prtcls (p0, lact, ldef) and
// latcom (fb, nfb, srtab, nfbchg). F receives the longitudinal force in
// F.along and zeros across and vertical. Status 0 on success; on any
// failure the lines of the failure and "error in force1" are logged, the
// status is 1 and F is zero.
[[nodiscard]] std::int32_t force1(PartView XP, PairView IP, ForceView F);

// Reference point of particle 1 on the lattice line (latcom's boundaries,
// walked from its next boundary): its path length s1 [m] and the line's
// unit tangent (tx, ty) there. The lattice holds at least one boundary.
void refpnt(PartView XP, PairView IP, double& s1, double& tx, double& ty);

// The force grid of one evaluation: point k = 1..nsam at c*t = (ng1+k-1)*h.
struct Fc1Grid {
    double sp;  // rms of each particle's Gaussian in c*t [m]
    double h;   // grid step 0.2*sp [m]
    int ng1, ng2, nsam;
};

// Terms of the series of the deposit's moments.
inline constexpr int nmom = 16;

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
