#include "run/slave.hpp"

#include "bunch/forces.hpp"
#include "forces/force.hpp"
#include "parallel/cmplib.hpp"
#include "run/tracom.hpp"

namespace run {

static_assert(bunch::any_parallel_model_built(), "the slaves take part in a model that runs on every process");

void slave(forces::ModelWork& work, ParallelForcesFn evaluate) {
    ftypes::FStr<cap::txtlen> COMAND;
    // force type, evaluation time c*t (m), effective sub-bunch sizes and
    // status of the force evaluation
    std::int32_t itype = 0;
    double ct = 0.0;
    forces::SubBunchSizes sizes{};
    std::int32_t ierr = 0;
    for (;;) {
        parallel::reccmd(COMAND);
        if (COMAND == "tracker") {
            tracom(work);
        } else if (COMAND == "parallel forces") {
            parallel::SlaveArrays& a = parallel::msgcom.slave;
            evaluate(work, itype, foundation::particles(a.XP, cap::maxprt), foundation::indices(a.IP, cap::maxprt), ct,
                     sizes, foundation::forces_of(a.F, cap::maxprt), ierr);
        } else if (COMAND == "stopp") {
            return;
        }
        // any other text: ignored
    }
}

void slave(forces::ModelWork& work) { slave(work, &forces::frcims); }

}  // namespace run
