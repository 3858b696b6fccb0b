// Tracking runs: the tracker settings ("tracker" and "track_step" layers),
// the run set-up, the iterated predictor/corrector time step and the
// step-size control. Master only.
#pragma once

#include <cstdint>

#include "bunch/forces.hpp"
#include "bunch/trkcom.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace bunch {

// Start values of trkcom, tr2com, tr3com and both stored force-set times.
void initrk(std::int32_t& ierr);

// Reads a "track_step" layer (and, when given, the time-grid file).
void lytrst(std::int32_t& ierr);

// Reads a "tracker" layer: the end of the next run.
void lytrck(std::int32_t& ierr);

// Resolves the end time of the run and logs the run configuration; fails
// also when the selected force model is not available in this build.
void initr2(std::int32_t& ierr);

// One time step of the whole bunch from ctptcl to ctnext; ctptcl := ctnext.
// derr receives the step error. ierr is nonzero when a force evaluation of
// the step failed (the step stopped there; the particles were not moved).
void ttrack(double ctnext, double& derr, std::int32_t& ierr);

// The iterated time step of the particles P with their pairs IP from ct to
// ctnew, with the stored force sets fi at ctfi (preconditioning model) and
// fk at ctfk (selected model), all of the same count; err is the step
// error. ierr is nonzero when a force evaluation failed; the force set of
// that evaluation is then zero, its time is not advanced, and the step
// stops there: no further evaluation, the particles not moved.
void itrack(foundation::ParticleView P, foundation::IndexView IP, double ct, double ctnew, double& ctfi,
            foundation::ForceView fi, double& ctfk, foundation::ForceView fk, double& err,
            std::int32_t& ierr);

// Step-size control: the next target ctnext and whether a step follows.
// reset is true on the first call of a run and returned false.
void steper(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);

// True when the last steper call ended the run before its end time: the
// next step could not advance c*t (a step below the resolution of the bunch
// time), or the time grid held no value for the run at all.
[[nodiscard]] bool stpfai();
// Next value of the time grid.
void stepr1(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);
// Adaptive rule with arc limit, end-time landing and duty times.
void stepr2(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);
// The projected sum of the adaptive rule once its step g has stopped
// growing: s + g + g + ... (at least one addition) in floating point until
// the sum reaches d, with the value the additions one by one give, at a
// cost of a few operations per binade of the sum.
[[nodiscard]] double add_projected_steps(double s, double g, double d);

// Installs the force entry (forcs2.entry), called with context as its
// first argument. any_type: the entry evaluates every type (a stand-in of
// the tests), so the run set-up refuses none; otherwise it refuses the
// types this build does not evaluate.
void set_force_entry(ForceEntry fn, void* context, bool any_type = false);
// True when a force entry is installed.
bool has_force_entry();

}  // namespace bunch
