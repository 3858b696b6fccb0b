// Force settings ("forces" layer) and the per-step force entry.
//
// The dispatch of a force evaluation reads the model table of
// bunch/forces.hpp. A model's evaluation function is registered in the one
// table model_evals of force.cpp; a model that runs on every process is
// called by frcims on the master and on every slave.
#pragma once

#include <cstdint>

#include "bunch/forces.hpp"
#include "foundation/views.hpp"

namespace forces {

using bunch::ForceType;

// Start values of the force record: type "none", par1..par5 0, counters 0.
void inifrc(std::int32_t& ierr);

// Reads one "forces" block, with the sigma_file and the wake_file. A
// "shield_max"/"shield" ratio that gives the model more plate images than
// the field library's limit fieldlib::max_images is refused.
void lyforc(std::int32_t& ierr);

// The number of plate images on each side that a model sums for the plate
// distance shield and the image cut-off shield_max (m): the projected
// model's one-dimensional wake nint(shield_max/shield) when 0 < shield <
// shield_max, the field library of the other models int(shield_max/shield)
// + 1 when 0 < shield < shield_max; else 0. A real, so that no ratio
// overflows.
double plate_images(ForceType type, double shield, double shield_max);

// The evaluation function of a model: forces F of the particle records XP
// with their pairs IP at the time ct [m] (F, XP and IP of one count, the
// particles of the bunch); status in ierr (0 success). A model that runs on
// every process is called on every process by frcims with the particles the
// master handed out, and sums its partial forces onto the master itself.
using ModelEval = void (*)(ForceType type, foundation::ParticleView XP, foundation::IndexView IP,
                           double ct, foundation::ForceView F, std::int32_t& ierr);

// One force evaluation of model type at time ct [m] for the particle
// records XP with pairs IP; result F (all three of the bunch's npart
// records). The force entry the driver gives the time step.
void forcei(ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr);

// The effective sub-bunch sizes of an evaluation, stored in sigma_long,
// sigma_rad, sigma_vert. Status 1 and a log line when a size is not > 0.
void frcsub(foundation::ConstParticleView XP, double ct, ForceType type, std::int32_t& ierr);

// The evaluation of a model that runs on every process, made by the master
// (from forcei, after "parallel forces") and by every slave (from its
// command loop) with the same collective calls: the hand-out of the
// particles (the master sends XP, IP of npart records; a slave receives into
// its views, whose count is its capacity), the broadcast of the time, the
// three sizes and the type (the slaves store them in ct, the force record
// and itype), then the model's evaluation function. "error in frcims" on a
// failure.
void frcims(std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
            foundation::ForceView F, std::int32_t& ierr);

}  // namespace forces
