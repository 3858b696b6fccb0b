// The records of the cached Green's function of the mesh models: its
// source (greenc), its samples with their column layout (greenm) and the
// column and chunk bookkeeping (greens).
//
// One instance each per process in zero-filled static storage (greenm is
// about 200 MB at full capacity). A Green pass touches the entries of its
// columns and of the samples of its chunk only, so a small mesh stays small
// in memory, and a run without the Green's-function models touches none.
// The records cannot be copied.
#pragma once

#include <cstdint>

#include "include/capacities.hpp"
#include "include/ftypes.hpp"
#include "include/mesh.hpp"

namespace forces {

inline constexpr int maxhlp = 100;                 // near columns
inline constexpr int maxcol = cap::maxgre / 3;     // columns: xg holds x, lower and upper limits
inline constexpr int nbucket = 1000;               // buckets of the column lookup table

struct Greenc {
    Greenc() = default;
    Greenc(const Greenc&) = delete;
    Greenc& operator=(const Greenc&) = delete;

    ftypes::Arr2<double, 2, maxpol> poly;  // region to cover, in the centroid's frame [m]
    double tgrn;                           // time of the evaluation on the path clock [s]
    double betgrn;                         // betref when the function was computed [c]
    double gamgrn;                         // Lorentz factor of the test particle
    ftypes::Arr1<double, 3> etgrn;         // direction of motion of the test particle (path frame)
};

// Sample and bookkeeping numbers that count over the whole mesh (noff,
// ngreen, jn) are 64-bit: a large region of fine columns holds more than
// 2^31 samples in all, processed chunk by chunk. Local numbers within a
// chunk stay below maxgre.
struct Greenm {
    Greenm() = default;
    Greenm(const Greenm&) = delete;
    Greenm& operator=(const Greenm&) = delete;

    // per sample of the chunk: its position (x, y, 0) in the centroid's frame
    // [m] until evaluated, then its field (E_x, E_y, c*B_z) [V/m] per unit charge
    ftypes::Arr2<double, 3, cap::maxgre> g;
    // column positions x(1..nx), then the lower y limits, then the upper [m]
    ftypes::Arr1<double, cap::maxgre> xg;
    ftypes::Arr2<double, 4, maxhlp> yn;            // break points in y of the near columns [m]
    std::int32_t i1gre;                            // first sample of the chunk (1)
    std::int32_t n2gre;                            // samples in the chunk
    ftypes::Arr1<std::int64_t, cap::maxgre + 1> noff;  // samples before column i
    std::int64_t ngreen;                           // samples in all
    std::int32_t jn1, jn2;                         // first and last near column
    ftypes::Arr2<std::int64_t, 4, maxhlp> jn;      // global sample numbers at the break points
    ftypes::Arr1<ftypes::Logical, cap::maxgre> req;  // per sample: required; once evaluated, valid
};

struct Greens {
    Greens() = default;
    Greens(const Greens&) = delete;
    Greens& operator=(const Greens&) = delete;

    std::int32_t nx;          // columns
    std::int32_t nxy1, nxy2;  // start of the lower (nx) and upper (2 nx) limits in xg
    std::int32_t ic1, ic2;    // first and last column of the chunk
    std::int64_t ioff;        // global number of the sample before the chunk's first
    ftypes::Arr1<std::int32_t, nbucket> ib;  // bucket table of the column positions
};

extern Greenc greenc;
extern Greenm greenm;
extern Greens greens;

}  // namespace forces
