#include "parallel/slave.hpp"

#include "parallel/cmplib.hpp"
#include "run/platform.hpp"

namespace parallel {
namespace {

void no_parallel_forces(std::int32_t&, double*, std::int32_t*, double&, double*, std::int32_t&) {
    run::fatal_stop(" error in slave: no parallel force model is built into this program");
}

}  // namespace

ParallelForcesFn parallel_forces_hook = &no_parallel_forces;
SlaveArrays slave_arrays;

void slave() {
    static ftypes::FStr<80> COMAND;
    // force type, evaluation time c*t (m) and status of the force evaluation
    static std::int32_t itype = 0;
    static double ct = 0.0;
    static std::int32_t ierr = 0;
    for (;;) {
        reccmd(COMAND);
        if (COMAND == "tracker") {
            tracom();
        } else if (COMAND == "parallel forces") {
            parallel_forces_hook(itype, slave_arrays.XP.data(), slave_arrays.IP.data(), ct,
                                 slave_arrays.F.data(), ierr);
        } else if (COMAND == "stopp") {
            return;
        }
        // any other text: ignored
    }
}

}  // namespace parallel
