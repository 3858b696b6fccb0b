// Force settings ("forces" layer) and the per-step force entry.
//
// The dispatch of a force evaluation reads the model table of
// bunch/forces.hpp. A model's evaluation function is registered in the one
// table model_evals of force.cpp; a model that runs on every process is
// called by frcims on the master and on every slave.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "bunch/forces.hpp"
#include "forces/model.hpp"
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

// The evaluation function of a model: forces F of the particle records
// in.XP with their pairs in.IP at the time ct [m] (F and in.XP of one count,
// the particles of the bunch), with the work storage work; status in ierr
// (0 success). A model that runs on every process is called on every
// process by frcims with the particles the master handed out, and sums its
// partial forces onto the master itself.
using ModelEval = void (*)(ForceType type, const ModelInput& in, double ct, foundation::ForceView F,
                           ModelWork& work, std::int32_t& ierr);

// The input of a model for the particle records XP with their pairs IP:
// the flags lact and ldef and the reference momentum of the bunch record,
// the lattice and the force settings of this process, and the sizes as the
// settings give them (an evaluation puts its effective sizes in their
// place).
ModelInput input_of(foundation::ConstParticleView XP, foundation::ConstIndexView IP);

// One force evaluation of model type at time ct [m] for the particle
// records XP with pairs IP, with the models' work work; result F (all three
// of the bunch's npart records). The input of the model (input_of) with
// the effective sizes of frcsub, which the monitors print from then on
// (bunch::show_subbunch_sizes; "projected" shows its sigma_long alone).
void forcei(ModelWork& work, ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr);

// The force entry the driver gives the time step (bunch::set_force_entry):
// forcei with the models' work that the entry's context points to.
void force_entry(void* work, ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
                 foundation::ForceView F, std::int32_t& ierr);

// The effective sub-bunch sizes of an evaluation of model type at c*t =
// ct [m] of the input in (its particles, flags, reference momentum, lattice
// and settings; the sizes of in are not read). No value, after a line
// saying why and what would work and "error in frcsub (sub-bunch
// dimensions)", when the evaluation cannot be made: a size that is not > 0 (a relative size of a bunch without
// extent); a particle that is not placed or is moving backward (at rest:
// for the three-dimensional models); for the three-dimensional models
// rintmi not below half the lattice's length, a transverse size (with the
// ellipsoid also the longitudinal size) below smallest_transverse_size, the radial size of the
// selected Green's-function model (not of a preconditioning stage) below
// smallest_green_radial_size of the sharpest bend its sub-bunches are in
// now; for every model a
// sub-bunch longer in c*t than the lattice. The lattice checks need a
// lattice (without one the model reports its own failure).
[[nodiscard]] std::optional<SubBunchSizes> frcsub(const ModelInput& in, double ct, ForceType type);

// Limits of the sub-bunch sizes (m). The field library resolves a
// transverse size only well above the rounding with which an observer on a
// source's path lies off it (measured: wrong fields below about 1e-11 m
// at gamma 2000, 1e-9 m at gamma 100, 1e-7 m at gamma 10, whatever
// sigma_long); the limit keeps ten times that: max(transverse_floor,
// transverse_floor_gamma2 / gamma^2), gamma that of particle 1.
inline constexpr double transverse_floor = 1e-9;         // m
inline constexpr double transverse_floor_gamma2 = 1e-4;  // m
double smallest_transverse_size(double gamma);
// The Green's-function models sample the field on straight columns
// 0.2 sigma_long apart; across them the sub-bunch's core follows a bend of
// radius R by about sigma_long^2/R (measured on line bunches in bends:
// up to 36% of the peak at 5 sigma_long^2/R, 5% at 20, 0.3% at 40). The
// radial size must be at least green_sagitta_factor sigma_long^2/R, R the
// sharpest bend the sub-bunches are in; 0 without a bend (radius 0).
inline constexpr double green_sagitta_factor = 40.0;
double smallest_green_radial_size(double sigma_long, double radius);

// The evaluation of a model that runs on every process, made by the master
// (from forcei, after "parallel forces") and by every slave (from its
// command loop) with the same collective calls: the hand-out of the
// particles (the master sends XP, IP of npart records; a slave receives into
// its views, whose count is its capacity), the broadcast of the time, the
// three effective sizes and the type (the master's ct, sizes and itype; the
// slaves receive them into theirs), then the model's evaluation function
// with the sizes in its input and the models' work work of this process.
// "error in frcims" on a failure.
void frcims(ModelWork& work, std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
            SubBunchSizes& sizes, foundation::ForceView F, std::int32_t& ierr);

// The check of a tracking run's set-up (master, before the run starts):
// the Green's function that a stage of the first step makes at the bunch's
// time (the preconditioning stage of csr_p_to_p and csr_p_to_m, or the
// selected csr_g_to_p or csr_g_to_m), laid out on the master for the run's
// process count, its work refused above green_work_max with the lines of
// the evaluation's refusal and "error: no tracking run"; ierr 1 then. No
// check where the first step computes no function or may reuse a stored
// one, nor where the evaluation would refuse the sub-bunch sizes (it says
// why itself), nor where the installed force entry is not force_entry with
// work (a stand-in of the tests). It lays the function out in work, the
// models' work that the run's evaluations use, and leaves nothing there
// that a later evaluation reads before it sets it anew: the stored
// function's stamp stays dropped (the first evaluation lays out its own
// mesh), and the field library's settings and design path are each
// evaluation's own.
void green_check(ModelWork& work, std::int32_t& ierr);

// rintmi, the field library's smallest length, locates the edges of bends
// along a source's path: above rintmi_per_sigma_long times the sub-bunch
// length the forces of the particles within a sigma_long of an edge move by
// more than 1% of their peak (measured with csr_p_to_p and csr_g_to_p,
// gamma 39 to 9800, sigma_long 1e-7 to 1e-3 m, bends of 0.5 to 10 m: 0.9%
// at sigma_long/180, 2.3% at sigma_long/100, up to 40% above sigma_long/10;
// away from the edges 1% only at about a hundredth of the overtaking length
// (24 sigma_long R^2)^(1/3)). The first evaluation of a forces layer in a
// lattice with a bend says so ("warning: rintmi = ...").
inline constexpr double rintmi_per_sigma_long = 1.0 / 200.0;

}  // namespace forces
