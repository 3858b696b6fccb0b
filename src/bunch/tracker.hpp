// Tracking runs: the tracker settings ("tracker" and "track_step" layers),
// the run set-up, the iterated predictor/corrector time step and the
// step-size control. Master only.
#pragma once

#include <cstdint>

#include "include/ftypes.hpp"
#include "include/trkcom.hpp"

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
// the step failed (the step was completed with zero forces in its place).
void ttrack(double ctnext, double& derr, std::int32_t& ierr);

// The iterated time step of n particles P(7,n), IP(2,n) from ct to ctnew,
// with the stored force sets fi(3,n) at ctfi and fk(3,n) at ctfk; err is
// the step error. ierr is nonzero when a force evaluation failed; the force
// set of that evaluation is then zero, and the step goes on with it.
void itrack(int n, double* P, std::int32_t* IP, double ct, double ctnew, double& ctfi, double* fi,
            double& ctfk, double* fk, double& err, std::int32_t& ierr);

// Step-size control: the next target ctnext and whether a step follows.
// reset is true on the first call of a run and returned false.
void steper(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);

// True when the last steper call ended the run because the next step could
// not advance c*t (a step below the resolution of the bunch time): the run
// did not reach its end time.
[[nodiscard]] bool stpfai();
// Next value of the time grid.
void stepr1(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);
// Adaptive rule with arc limit, end-time landing and duty times.
void stepr2(double& ctnext, ftypes::Logical& reset, ftypes::Logical& lstep);

// A force evaluation as the time step makes it: model itype, particle
// records XP(7,npart), pairs IP(2,npart), time ct, result F(3,npart).
using ForceFn = void (*)(std::int32_t itype, const double* XP, const std::int32_t* IP, double ct,
                         double* F, std::int32_t& ierr);
// Replaces the force entry used by itrack (tests only; every force type is
// then accepted by the run set-up); nullptr restores it.
void set_force_hook(ForceFn fn);

}  // namespace bunch
