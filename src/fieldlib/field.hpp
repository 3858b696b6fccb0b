// The field library: the electromagnetic field, at one point and time, of a
// Gaussian line-charge bunch of total charge q0 and rms duration sigmat that
// moves along a design path, optionally with a transverse size and with its
// images between two conducting plates.
//
// A field library is one context object (fldint.hpp), made and owned by its
// caller and given to every entry point: its settings, its design path and
// the caches of its evaluations. Settings are given one at a time through
// finit(cx, name, value) and persist in the context; every required setting
// must be given before the first field call. The design path and its four
// limits come from setpth. A field call depends only on its arguments, the
// context's settings and the context's design path: two contexts never
// share anything.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "fieldlib/fldtypes.hpp"

namespace lattice {
struct Latcom;
}

namespace fieldlib {

// One field library: settings, design path and caches (fldint.hpp). Large
// (about 1.3 MB); it starts zero-filled (a value-initialised or zero-filled
// object is a library with no setting given).
struct Context;

// Sets one setting of cx (or performs "check"): "method", "sigmaz",
// "xnsigz", "sigmar", "hc", "q0", "sigmat", "xnsigt", "Rintmi"/"rintmi",
// "Rintma"/"rintma", "Slow"/"slow", "Shigh"/"shigh", "sstpma", "relacc",
// "notalman", "nogamma2", "hmax", "zsymmetry", "1dmirror", "1dpoleex".
// Trailing blanks of the name are ignored; letter case matters. An unknown
// name and a failed "check" end the job with their messages.
void finit(Context& cx, std::string_view name, double value);

// Field at the point r [m, path frame] and time t [s, path clock] of the
// model bunch of cx on its design path, for a test particle of Lorentz
// factor gamma moving along the unit vector e. The search for the path
// point nearest to r starts at the path position s_start [m] (at the middle
// of the path interval when s_start lies outside it): a caller that gives
// each observer its own start (as a rule its position along the path, r(1))
// makes the result depend on the call's own arguments only. No allocation.
FieldResult field(Context& cx, double t, std::span<const double, 3> r, double gamma, std::span<const double, 3> e,
                  double s_start);

// Builds the design path of cx for a particle (lattice::setpth through the
// boundaries of the lattice L) and hands cx its limits "Slow", "Shigh",
// "sstpma" and "Rintma", in this order.
void setpth(Context& cx, const lattice::Latcom& L, std::span<const double, 7> part, std::int32_t ifb, double ct,
            double p0);

// Hands cx the limits of its design path (a path built into cx.path by
// other means, lattice::pthset) and drops its cached path values.
void pthlim(Context& cx);

// Writes the text as one list-directed record on standard output.
void fieldp(std::string_view text);

}  // namespace fieldlib
