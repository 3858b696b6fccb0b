// The mesh models of the self-force, "csr_" + source letter + "_to_" +
// observer letter:
//   csr_p_to_m  every active particle is a source with its own design path;
//               fields at the corners of observation boxes, interpolated to
//               the particles inside them;
//   csr_g_to_p  one Green's function, the field of a sub-bunch on the design
//               path of the bunch's centroid, sampled on a mesh in the
//               centroid's frame and shifted and turned to every source;
//               fields at every receiving particle;
//   csr_g_to_m  the Green's function at the box corners.
// The Green's function is kept and reused while the bunch stays at the same
// time (the repeated end-of-step evaluations of the time step) under the
// same shape, plates and rintmi; a reused function keeps the sub-bunch
// sizes and duration it was made with.
#pragma once

#include <array>
#include <cstdint>

#include "bunch/forces.hpp"
#include "forces/model.hpp"
#include "forces/ptom.hpp"
#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace forces {

// Forces F of the particles in.XP (pairs in.IP) at c*t = ct [m] for the
// mesh model type (csr_p_to_m, csr_g_to_p or csr_g_to_m). Runs on every
// process with the same arguments (frcims); the observers and the
// Green's-function samples are shared out among the processes and the
// fields summed onto the master, where F is valid. ierr := 0; 1 when the
// work of a Green's function is above green_work_max (every process refuses
// alike before it evaluates a sample, F is not set, the master logs the
// stage that needs the function, its work and the ways out; the meshing's
// capacity stops end the job). work.mesh
// holds the work arrays.
void force3(bunch::ForceType type, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& work,
            std::int32_t& ierr);

// The reference source of the Green's function: the centroid of the active
// particles of in (at least one) as a particle record of unit charge, and
// its next field boundary, the first one ahead of it from the smallest next
// boundary of the active particles on.
struct GreenSource {
    std::array<double, 7> record;
    std::int32_t next;
};
GreenSource green_source(const ModelInput& in);

// The work of a Green's function (gmwork) is limited by the forces layer's
// green_work_max [field calls, summed over the processes]; by default
// green_work_per_process times the run's process count, about an hour of
// each process at field_call_seconds a field call (measured on an 8-core
// machine: 7 to 12 us a call of a Green's sample, 30 to 80 ns a look-up).
inline constexpr double field_call_seconds = 9e-6;
inline constexpr double green_work_per_process = 4e8;

// The check of a tracking run's set-up (master, before the run starts):
// the Green's function that a stage of the first step makes at the bunch's
// time (the preconditioning stage of csr_p_to_p and csr_p_to_m, or the
// selected csr_g_to_p or csr_g_to_m), laid out on the master for the run's
// process count, its work refused above green_work_max with the lines of
// the evaluation's refusal and "error: no tracking run"; ierr 1 then. No
// check where the first step computes no function or may reuse a stored
// one, nor where the evaluation would refuse the sub-bunch sizes (it says
// why itself). The mesh records of the master are left as a new
// evaluation lays them out anew.
void green_check(std::int32_t& ierr);

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

// Work arrays of the mesh models.
struct MeshWork {
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
