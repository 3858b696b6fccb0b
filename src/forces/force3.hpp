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

// The Green's function that an evaluation of model type (csr_g_to_p or
// csr_g_to_m) with the input in (its effective sizes set) makes at c*t = ct
// [m], made on the master alone as far as its work is known (green_check):
// green_observers builds its observers into work (logging as the
// evaluation does), green_layout_work lays out its first chunk for the
// run's process count in work and returns 1, after the evaluation's lines
// of the refusal, when its work is above green_work_max (0 otherwise). No
// sample is evaluated, and the stored function's stamp is left as it is.
void green_observers(ModelWork& work, bunch::ForceType type, const ModelInput& in);
int green_layout_work(ModelWork& work, bunch::ForceType type, const ModelInput& in, double ct);

}  // namespace forces
