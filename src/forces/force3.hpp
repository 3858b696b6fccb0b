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

#include <cstdint>

#include "bunch/forces.hpp"
#include "foundation/views.hpp"

namespace forces {

// Forces F of the particles XP (pairs IP) at c*t = ct [m] for the mesh model
// type (csr_p_to_m, csr_g_to_p or csr_g_to_m). Runs on every process with
// the same arguments (frcims); the observers and the Green's-function
// samples are shared out among the processes and the fields summed onto the
// master, where F is valid. ierr := 0; 1 when the work of a Green's
// function is above green_work_max (every process refuses alike, F is not
// set; the meshing's capacity stops end the job).
void force3(bunch::ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr);

}  // namespace forces
