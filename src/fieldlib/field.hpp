// The field library: the electromagnetic field, at one point and time, of a
// Gaussian line-charge bunch of total charge q0 and rms duration sigmat that
// moves along the design path last built by setpth, optionally with a
// transverse size and with its images between two conducting plates.
//
// Settings are given one at a time through finit(name, value) and persist
// for the process; every required setting must be given before the first
// field call. The design path and its four limits come from setpth.
#pragma once

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

// Field at the point r(1..3) [m, path frame] and time t [s, path clock] of
// the model bunch, for a test particle of Lorentz factor gamma moving along
// the unit vector e(1..3): dwb(1..3) electric field [V/m] acting on the test
// particle, dwb(4..6) magnetic field times c [V/m], dwb(7..14) the
// potential terms (7 scalar potential of lam, 8..10 its vector potential,
// 11..14 the same for d lam/dt; scaled like the fields). No allocation.
void field(double t, const double* r, double gamma, const double* e, double* dwb);

// Starts the search for the path point nearest to the observer of the next
// field call at the path position s (m), in place of the last call's answer
// (outside the path interval the search starts at its middle). A caller that
// gives every call its own start makes the call's result depend on its own
// arguments only, not on the calls made before it.
void nearest_start(double s);

// Builds the design path of a particle (lattice::setpth) and hands the
// library its limits "Slow", "Shigh", "sstpma" and "Rintma", in this order.
void setpth(std::span<const double, 7> part, std::int32_t ifb, std::int32_t nfb, double ct, double p0);

// Hands the library the limits of the current design path (lattice::pthcom)
// and drops its cached path values.
void pthlim();

// Writes the text as one list-directed record on standard output.
void fieldp(std::string_view text);

}  // namespace fieldlib
