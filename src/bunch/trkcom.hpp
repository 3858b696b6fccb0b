// Tracker records: the end of a tracking run, the step control, the two
// stored force sets of the iterated time step, the work arrays of the step
// and the state of the adaptive step rule. Master only, except trkcom,
// which the run-state transfer also sends to the slaves.
#pragma once

#include <cstdint>

#include "bunch/forces.hpp"
#include "foundation/capacities.hpp"
#include "foundation/constants.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace bunch {

// End of the run; the three times are c*t in metres. UNDEF_REAL = not given.
struct Trkcom {
    double delta_time_c0;       // length of the run, counted from the bunch time
    double end_time_c0;         // end of the run; after initr2 the resolved end time
    double end_time_shift_c0;   // shift added to the time of end_time_marker
};

// Name of the lattice marker whose reference crossing time ends the run.
struct Tr2com {
    ftypes::FStr<cap::txtlen> end_time_marker;
};

// Work arrays of the time step: the previous (1) and latest (2) move of the
// particles with their next-boundary pairs, and the start forces of the two
// stages. Static, sized for the largest bunch; nothing is allocated per step.
struct StepWork : ftypes::NoCopy {
    ftypes::Arr2<double, 7, cap::maxprt> XP1, XP2;
    ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP1, IP2;
    ftypes::Arr2<double, 3, cap::maxprt> FI1, FK1;
};

// State of the adaptive step rule, kept between calls and runs.
struct StepControl {
    double ctostp = 0.0;       // last step length [m]
    double ctduty = foundation::far_time;  // next duty time [m]; far_time = none
    std::int32_t iduty = 0;    // 1: duty time before a boundary, 2: after it
    bool lreset = false;       // recompute the duty time at the next call
    bool stalled = false;      // the run ended before its end time
};

// Step control ("track_step" layer), the time grid and the run's error sum.
struct Tr3com : ftypes::NoCopy {
    double error_per_ct;           // accepted step error per metre of c*t
    double error_weight_momentum;  // weight of the momentum part of the step error
    double ct_step_max;            // largest step [m]
    double ct_step_min;            // smallest step [m] (the arc limit may go below)
    double ct_step_first;          // first step of a run [m]
    double increase_factor;        // growth factor from step to step
    double arc_factor;             // factor of the arc step limit
    double steps_tolerance;        // tolerance [m] when taking the next grid value
    ftypes::Arr1<double, cap::matist> ctgrid;  // the time grid [m of c*t]
    double errsum;                 // integrated step error
    std::int32_t maxit;            // repeated passes per stage ("iterative")
    std::int32_t ngrid;            // values in ctgrid
    ftypes::Logical precondition;  // run the preconditioning stage
    ftypes::Logical duty_steps;    // make steps end at duty times
    ftypes::Logical lduty;         // the bunch has just arrived at a duty time
    ftypes::Logical lgrid;         // a time grid is in force
    StepControl state;             // the adaptive rule's state between calls and runs
};

// The force entry of the time step: one evaluation of model m for the
// particle records XP with their pairs IP at the time ct [m], result F (the
// same count); status in ierr. The time step reaches the force models only
// through this function, which the driver installs (forces::force_entry)
// together with the context it is called with (the models' work).
using ForceEntry = void (*)(void* context, ForceType m, foundation::ParticleView XP, foundation::IndexView IP,
                            double ct, foundation::ForceView F, std::int32_t& ierr);

// The two stored force sets, 3 values per particle (force array layout),
// each with the c*t [m] at which it holds; UNDEF_REAL = no stored set. With
// them the work arrays of the step and the force entry that evaluates the
// sets (set_force_entry; none while zero).
struct Forcs2 : ftypes::NoCopy {
    double ctfi;                                   // time of fi
    ftypes::Arr2<double, 3, cap::maxprt> fi;       // forces of the preconditioning model
    double ctfk;                                   // time of fk
    ftypes::Arr2<double, 3, cap::maxprt> fk;       // forces of the selected model
    StepWork work;                                 // the moves and start forces of the step
    ForceEntry entry;                              // the force entry, nullptr when none
    void* entry_context;                           // what the entry is called with
    bool entry_any_type;                           // it evaluates every type (a stand-in of the tests)
};

extern Trkcom trkcom;
extern Tr2com tr2com;
extern Tr3com tr3com;
extern Forcs2 forcs2;

}  // namespace bunch
