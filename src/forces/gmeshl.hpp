// Green's-function samples and lookup: the evaluation of one sample, the
// bucket table of the columns, marking and interpolation at a point, and
// the mesh data written to the "green" online monitors.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "forces/gmesh.hpp"

namespace fieldlib {
struct Context;
}

namespace forces {

// The field of the reference source of g at z = (x, y) of its own frame
// [m]: w = (E_x, E_y), cbz = c*B_z [V/m], per unit charge: the field
// library cx on its design path (the reference source's), at the time tgrn,
// for a test particle of Lorentz factor gamgrn moving along etgrn
// (g.greenc); the evaluator of g.greenc in its place when one is set.
void green(const Green& g, fieldlib::Context& cx, const Pt2& z, Pt2& w, double& cbz);

// Sets the evaluator of g.greenc that replaces the field-library call of
// green (tests use a closed-form field); nullptr restores the field
// library. Returns the one it replaces.
GreenEvaluator set_green_evaluator(Green& g, GreenEvaluator f);

// Marks as required the four samples of g around z when its cell lies in
// the current chunk. lout: as for gmesh2.
void gmesh1(Green& g, const Pt2& z, bool& lout);

// The Green's function g at z from its four surrounding samples of the
// current chunk, evaluating (green) any of them not yet evaluated, at its
// position from the column layout (the field library cx holds the sizes and
// duration the function is made with: force3 sets them).
// Results:
//   lin true:  w, cbz hold the interpolated value;
//   lout true: z lies outside the meshed region and this chunk answers for
//              it: evaluate green(z) directly now. That is the first chunk
//              for a point outside the columns, and the chunk that owns the
//              cell for a point above or below its cell's samples, so every
//              point is handled in exactly one pass over the chunks;
//   neither:   the point belongs to another chunk; nothing to do now.
void gmesh2(Green& g, fieldlib::Context& cx, const Pt2& z, bool& lin, bool& lout, Pt2& w, double& cbz);

// gmesh2 at the first lookup_batch (at most) points z, the results into
// out (as many): point by point the same as above.
inline constexpr std::size_t lookup_batch = 64;
struct GreenLookup {
    bool lin = false, lout = false;
    Pt2 w{};
    double cbz = 0.0;
};
void gmesh2(Green& g, fieldlib::Context& cx, std::span<const Pt2> z, std::span<GreenLookup> out);

// Writes the region polygon poly(1..2, 1..np) and the curvature-change rows
// into every open "green" online monitor of format "fmt1", from the start of
// its file (bunch::green_monitor_output). Returns the status of the last
// rewind or write (0 = success); a monitor whose file cannot be rewound or
// written is dropped and its unit freed.
int gmshd1(const Polygon& poly, int np, ChgRows chg);

// A chosen ratio: the look-ups of the marking that cost as much as one
// sample's field call (the measured ratio lies between some 90 and 400,
// see lookup_calls).
inline constexpr double marking_lookups_per_sample = 111.5;

// The estimate that decides between marking the required samples and
// evaluating every sample of the chunk of g: marking costs npart*nobs
// lookups, 1/marking_lookups_per_sample of a sample evaluation each, per
// chunk. In floating point.
double gmestm(const Green& g, std::int32_t npart, std::int32_t nobs);

// What the Green's function g laid out by gmesh0 will compute for npairs
// source-observer pairs at most, w being the estimate gmestm of its first
// chunk, the same at any process count: the samples to evaluate (every
// sample with w > 1, where several processes evaluate them all; else four
// a pair, at most every sample: a pair reads the four samples around its
// point, which neighbours share, and only those are evaluated), the
// look-ups (every pair in every chunk, and with w <= 1 once more to mark
// the samples, which several processes do), and the work in field calls, a
// look-up counting as lookup_calls of one (measured: some 30 to 80 ns
// against some 7 to 12 us). Samples laid out cost nothing until they are
// evaluated, and a column some 0.15 us.
inline constexpr double lookup_calls = 1.0 / 200.0;
struct GreenWork {
    double samples;  // samples to evaluate, at most
    double lookups;  // look-ups of the pairs
    double work;     // field calls
};
GreenWork gmwork(const Green& g, double npairs, double w);

}  // namespace forces
