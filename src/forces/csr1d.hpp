// One-dimensional CSR wake of a Gaussian line charge moving along the
// lattice's design line of straight pieces and arcs, with the radiation of
// earlier bends that catches up along the following straights and optional
// images of two conducting plates.
//
// The wake is the longitudinal field (V/m for a line charge of 1 C) that a
// Gaussian bunch of rms sigma, centred at offset x from the observer
// (x < 0: behind it), exerts on the observer. The walk goes backwards along
// the (s, r) table from the observer, integrates the retarded field of each
// piece by composite Simpson rules in adapted variables and deposits every
// node as the derivative of a Gaussian at the node's retarded offset. On an
// arc this is the steady-state and transient CSR wake of a Gaussian line
// charge (E. L. Saldin, E. A. Schneidmiller, M. V. Yurkov, "On the coherent
// radiation of an electron bunch moving in an arc of a circle", Nucl.
// Instrum. Methods A 398 (1997) 373); deep in an arc of radius R it tends to
// the steady state, of the scale 1/(4 pi eps0 R^(2/3) sigma^(4/3)).
#pragma once

#include <cstdint>
#include <span>

#include "foundation/capacities.hpp"

namespace forces {

// The eight parameters of a wake block; the values follow separately.
struct WakePars {
    double sigma;    // rms length of the Gaussian line charge [m of path length]
    double gamma;    // Lorentz factor of the bunch
    double s1;       // path length of the observer along the design line [m]
    double x_first;  // offset of the first wake point [m]
    double x_last;   // offset of the last wake point [m]; equal spacing in between
    double done;     // 1.0 once the values are valid (csr5 does nothing then)
    double y;        // vertical source distance [m]; on entry to csr4 the plate distance
    double y_max;    // on entry to csr4 the image cut-off; set to 0 by csr3
};

// The (s, r) table of the lattice curvature: rows of (path length [m] at
// which a section starts, its radius [m], 0 for a straight), 1-based.
class SrTable {
public:
    SrTable() = default;
    // rows consecutive (s, r) pairs
    SrTable(std::span<const double> words, int rows) : w_(words.first(std::size_t(2) * std::size_t(rows))) {}
    int rows() const { return int(w_.size() / 2); }
    double s(int j) const { return w_[std::size_t(2) * std::size_t(j - 1)]; }
    double r(int j) const { return w_[std::size_t(2) * std::size_t(j - 1) + 1]; }

private:
    std::span<const double> w_;
};

// Wake points of one request: up to narcsr for a grid in free space, and
// up to 2 nsam - 1 for a grid of nsam points between plates, where the wake
// covers the sources ahead over the whole grid too.
inline constexpr int nwkmax = 2 * cap::nsamax;

// Status of the wake routines.
inline constexpr int csr_ok = 0;
inline constexpr int csr_bad_block = 1;     // sigma <= 0, gamma <= 1 or a value not finite
inline constexpr int csr_many_images = 2;   // more images than fieldlib::max_images

// Work blocks of the wake: the coarse grid with its spline and one image.
// Large; one instance lives in the caller's work (the projected model's).
struct CsrWork {
    static constexpr int ncoarse = cap::narcsr + 4;  // m + 4 points for m + 2 <= narcsr
    WakePars coarse_par;
    double coarse[ncoarse];   // wake on the coarse grid
    double yss[ncoarse];      // its spline's second derivatives
    double spl_u[ncoarse];    // spline work
    WakePars image_par;
    double image[nwkmax];     // wake of one plate image (only what a request uses is touched)
};

// Walk state: the observer at the origin moving along +x in the bending
// plane; the walk point behind it.
struct Walk {
    double s = 0.0;                // path offset of the walk point [m], negative behind
    double p[2] = {0.0, 0.0};      // its position [m]
    double t[2] = {1.0, 0.0};      // unit tangent there, direction of motion
    bool cont = true;              // false: nothing further back reaches the wake points
};

// What every piece of the walk needs: beam and window.
struct WalkCtx {
    double sigma;     // rms length [m]
    double beta;      // velocity / c
    double g2;        // 1/gamma^2
    double gam2;      // gamma^2
    double y;         // vertical source distance [m]
    double xlo, xhi;  // window of retarded offsets [m]
    double dx;        // tau step [m]
    double xa, xb;    // -x_first, -x_last (the deposit's offsets)
    bool gfast;       // the deposit's Gaussians from the table gtab
    double gtab[129]; // exp(-(m du)^2/2), m = -64 .. 64, du the point spacing in sigma
};

// Wake on the requested points, through a coarse grid and a natural cubic
// spline when the points are finer than 0.2 sigma. nsect is the number of
// table rows minus one. Fills vals (n = vals.size() <= nwkmax); E.done is
// 1.0 afterwards. Does nothing when E.done is 1.0 on entry.
[[nodiscard]] int csr5(SrTable tab, int nsect, WakePars& E, std::span<double> vals, CsrWork& work);

// Free-space wake plus the plate images at k*E.y (k = 1..nint(E.y_max/E.y)),
// weighted 2 (-1)^k cos(0.5 pi k E.y/E.y_max), when 0 < E.y < E.y_max.
[[nodiscard]] int csr4(SrTable tab, int nsect, WakePars& E, std::span<double> vals, CsrWork& work);

// The walk along the table for one vertical distance E.y.
[[nodiscard]] int csr3(SrTable tab, int nsect, WakePars& E, std::span<double> vals);

// The observer's own arc (free space), of length len and signed radius R.
void thisac(Walk& w, double len, double R, const WalkCtx& c, std::span<double> vals);

// An arc of length len and signed radius R behind the walk point (any y).
void arc(Walk& w, double len, double R, const WalkCtx& c, std::span<double> vals);

// A straight piece of length len behind the walk point; infinite: the
// straight before the first table row, without end.
void line(Walk& w, double len, bool infinite, const WalkCtx& c, std::span<double> vals);

// Field integrand at a source point at path offset s, at the vector d from
// the observer (R its length with y included), tangent v; g2 = 1/gamma^2.
// K1 per unit path length, K2 = R K1; kappa = 1 - beta m.
void kernel(double s, const double d[2], double R, const double v[2], double beta, double g2, double& K1,
            double& K2, double& kappa, bool plates, double y);

// Adds a * sigma * (-u exp(-u^2/2)) to W(k) for the points with |u| <= 5,
// u(k) = (x0 - x_k)/sigma, where xa = -x_first and xb = -x_last.
void esum(double a, double x0, double sigma, double xa, double xb, std::span<double> W);

// esum with sigma, xa, xb of the walk, its Gaussians from the table c.gtab
// when c.gfast (two short series per node instead of an exponential per
// point; the same sums within a few units of the last digit of the peak).
void esum_fast(double a, double x0, const WalkCtx& c, std::span<double> W);

}  // namespace forces
