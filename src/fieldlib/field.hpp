// The field library: the electromagnetic field, at one point and time, of a
// Gaussian line-charge bunch of total charge q0 and rms duration sigmat that
// moves along the design path last built by setpth, optionally with a
// transverse size and with its images between two conducting plates.
//
// Settings are given one at a time through finit(name, value) and persist
// for the process; every required setting must be given before the first
// field call. The design path and its four limits come from setpth. These
// entry points work on the process's own field library, whose whole state
// is one context object (fldint.hpp); a field call depends on its arguments,
// the settings and the design path only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace fieldlib {

// Largest number of plate images summed on each side of the bunch
// (int(|hmax/hc|) + 1). A larger count ends the job.
inline constexpr double max_images = 1000.0;

// Sets one setting (or performs "check"): "method", "sigmaz", "xnsigz",
// "sigmar", "hc", "q0", "sigmat", "xnsigt", "Rintmi"/"rintmi",
// "Rintma"/"rintma", "Slow"/"slow", "Shigh"/"shigh", "sstpma", "relacc",
// "notalman", "nogamma2", "hmax", "zsymmetry", "1dmirror", "1dpoleex".
// Trailing blanks of the name are ignored; letter case matters. An unknown
// name and a failed "check" end the job with their messages.
void finit(std::string_view name, double value);

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

// Field at the point r [m, path frame] and time t [s, path clock] of the
// model bunch, for a test particle of Lorentz factor gamma moving along the
// unit vector e. The search for the path point nearest to r starts at the
// path position s_start [m] (at the middle of the path interval when s_start
// lies outside it): a caller that gives each observer its own start (as a
// rule its position along the path, r(1)) makes the result depend on the
// call's own arguments only. No allocation.
FieldResult field(double t, std::span<const double, 3> r, double gamma, std::span<const double, 3> e,
                  double s_start);

// Builds the design path of a particle (lattice::setpth) and hands the
// library its limits "Slow", "Shigh", "sstpma" and "Rintma", in this order.
void setpth(std::span<const double, 7> part, std::int32_t ifb, std::int32_t nfb, double ct, double p0);

// Hands the library the limits of the current design path (lattice::pthcom)
// and drops its cached path values.
void pthlim();

// Writes the text as one list-directed record on standard output.
void fieldp(std::string_view text);

}  // namespace fieldlib
