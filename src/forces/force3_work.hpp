// The work of the mesh models ("csr_p_to_m", "csr_g_to_p", "csr_g_to_m",
// force3): their observers, the stored Green's function and the arrays of
// an evaluation, part of the models' work (work.hpp).
#pragma once

#include <cstdint>

#include "forces/gmesh.hpp"
#include "forces/ptom.hpp"
#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace forces {

// The shared evaluation of a chunk's samples, with several processes while
// a Green's function is made: every process marks the samples that its own
// source-observer pairs need, and every process learns the union of the
// marks: as the joined lists of the marked samples when they are no longer
// than the chunk, else as flags (logical or onto the master, broadcast).
// The required samples are dealt out by their running count (the k-th to
// process mod(k, ncpu) + 1), so each is evaluated by exactly one process;
// their values are joined on every process in rounds of at most
// round_samples. A sparse chunk moves only its required samples; in a mesh
// of several chunks, one that the pairs of one process at most reach moves
// nothing (GreenCells).
inline constexpr std::int32_t join_marks = 1 << 20;     // marks joined as lists, at most
inline constexpr std::int32_t round_samples = 1 << 18;  // samples per round of joined values

struct SampleExchange {
    ftypes::Arr1<std::int32_t, join_marks> own;    // this process's marks, ascending
    ftypes::Arr1<std::int32_t, join_marks> marks;  // every process's; then the required samples, ascending
    std::int32_t nreq;                             // required samples in marks; -1: the flags req hold them
    ftypes::Arr1<std::int32_t, cap::maxproc> counts;       // per process: marks, or values of a round
    ftypes::Arr1<std::int32_t, round_samples> lround;      // the samples of a round
    ftypes::Arr1<double, 3 * round_samples> mine;          // this process's values of a round
    ftypes::Arr1<double, 3 * round_samples> joined;        // every process's values of a round
};

// The work of the mesh models: the observers and the stored Green's
// function (gmesh.hpp) and the work arrays of an evaluation.
struct MeshWork : ftypes::NoCopy {
    Mesh mesh;                                // the observers, boxes and the stored function's stamp
    Green green;                              // the stored Green's function
    ftypes::Arr1<double, cap::maxprt> xlist;  // absolute positions of the observers [m]
    ftypes::Arr1<double, cap::maxprt> ylist;  //   while fobs holds their fields
    BoxSort boxes;                            // the binning of ptom1
    // the cosine and sine of the azimuths of this process's block of the
    // particles, and the region's support of every block (region_support)
    ftypes::Arr1<double, cap::maxprt> cphi;
    ftypes::Arr1<double, cap::maxprt> sphi;
    ftypes::Arr1<double, cap::maxproc> support;
    SampleExchange exchange;                  // the shared evaluation of the samples
};

}  // namespace forces
