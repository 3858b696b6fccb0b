// Force settings ("forces" layer) and the per-step force entry.
#pragma once

#include <cstdint>

#include "include/forces.hpp"

namespace forces {

// Start values of the force record: type "none", par1..par5 0, counters 0.
void inifrc(std::int32_t& ierr);

// Reads one "forces" block, with the sigma_file and the wake_file.
void lyforc(std::int32_t& ierr);

// One force evaluation of model itype at time ct [m] for the particle
// records XP(7,npart) with pairs IP(2,npart); result F(3,npart).
void forcei(std::int32_t itype, const double* XP, const std::int32_t* IP, double ct, double* F,
            std::int32_t& ierr);

// The effective sub-bunch sizes of an evaluation, stored in sigma_long,
// sigma_rad, sigma_vert. Status 1 and a log line when a size is not > 0.
void frcsub(const double* XP, const std::int32_t* IP, double ct, std::int32_t itype, std::int32_t& ierr);

// True when the force model itype can be evaluated by this build.
bool force_model_available(std::int32_t itype);

}  // namespace forces
