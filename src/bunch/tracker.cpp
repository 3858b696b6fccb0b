// Tracking runs: tracker settings, time step and step-size control.
#include "bunch/tracker.hpp"

namespace bunch {

Trkcom trkcom;
Tr2com tr2com;
Tr3com tr3com;
Forcs2 forcs2;

void initrk(std::int32_t& ierr) {
    trkcom.delta_time_c0 = ftypes::UNDEF_REAL;
    trkcom.end_time_c0 = ftypes::UNDEF_REAL;
    trkcom.end_time_shift_c0 = ftypes::UNDEF_REAL;
    tr2com.end_time_marker = ftypes::UNDEF_NAME;
    forcs2.ctfi = ftypes::UNDEF_REAL;
    forcs2.ctfk = ftypes::UNDEF_REAL;
    tr3com.error_per_ct = 0.001;
    tr3com.error_weight_momentum = 1.0;
    tr3com.ct_step_max = 0.1;
    tr3com.ct_step_min = 0.01;
    tr3com.ct_step_first = 0.1;
    tr3com.increase_factor = 2.0;
    tr3com.arc_factor = 0.5;
    tr3com.steps_tolerance = 1e-05;
    tr3com.maxit = 3;
    tr3com.precondition = true;
    tr3com.duty_steps = true;
    tr3com.lgrid = false;
    ierr = 0;
}

void lytrst(std::int32_t& ierr) { ierr = 1; }
void lytrck(std::int32_t& ierr) { ierr = 1; }
void initr2(std::int32_t& ierr) { ierr = 1; }
void ttrack(double, double& derr, std::int32_t& ierr) { derr = 0.0; ierr = 0; }
void itrack(int, double*, std::int32_t*, double, double, double&, double*, double&, double*, double& err,
            std::int32_t& ierr) {
    err = 0.0;
    ierr = 0;
}
void steper(double&, ftypes::Logical& reset, ftypes::Logical& lstep) { reset = false; lstep = false; }
void stepr1(double&, ftypes::Logical& reset, ftypes::Logical& lstep) { reset = false; lstep = false; }
void stepr2(double&, ftypes::Logical& reset, ftypes::Logical& lstep) { reset = false; lstep = false; }
void set_force_hook(ForceFn) {}

}  // namespace bunch
