// Physical and numerical constants of the program, and the conversions of
// angles from the deck's degrees.
#pragma once

namespace foundation {

inline constexpr double pi = 3.141592653589793;
inline constexpr double twopi = 6.283185307179586;
// sqrt(2 pi), the normalisation of a Gaussian.
inline constexpr double sqrt2pi = 2.5066282746310002;

// Speed of light [m/s].
inline constexpr double clight = 299792458.0;

// m*c^2 of the electron in eV: a momentum in units of m*c times this is eV/c.
inline constexpr double mc2_ev = 510973.7048278002;
// 1/(m*c^2 in eV): turns a field in V/m into a force in m*c per metre of
// c*t, and a momentum in eV/c into units of m*c.
inline constexpr double force_scale = 1.957047868709806e-06;
// The elementary charge [C] and m*c^2 [J] as the deck's reference momentum
// in eV/c is converted: v * e_charge / mc2_joule (in this order).
inline constexpr double e_charge = 1.60203e-19;
inline constexpr double mc2_joule = 8.185952043452808e-14;
inline double momentum_ev_to_mc(double v) { return v * e_charge / mc2_joule; }

// Degrees to radians in the two rounding orders the program uses: boundary
// angles and the reference-point rotation divide first (v/180*pi), the
// multipole rotation multiplies first (v*pi/180). The orders give results
// that differ in the last bit; each caller keeps its own.
inline double degrees_quotient_first(double v) { return v / 180.0 * pi; }
inline double degrees_product_first(double v) { return v * pi / 180.0; }

// An arc of length L on radius R is longer than its chord by L^3/(24 R^2)
// (to leading order in L/R): the radiation of a point of the arc gains that
// much on the bunch, which it so overtakes by d over the arc length
// L = (24 R^2 d)^(1/3), the overtaking length.
inline constexpr double arc_slip = 24.0;

// A c*t distance [m] beyond any run: the target of a leg that is to end on
// a boundary, and the "no time" of the step control.
inline constexpr double far_time = 1e+300;

}  // namespace foundation
