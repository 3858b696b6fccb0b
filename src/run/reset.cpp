#include "run/reset.hpp"

#include <cstdint>

#include "bunch/forces.hpp"
#include "bunch/moncom.hpp"
#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "forces/force.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"
#include "parallel/process.hpp"
#include "run/driver.hpp"

namespace run {

void reset_state() {
    foundation::unit_close_all();
    // the files and the log start afresh; the job end that the message layer
    // (or a test harness) installed is kept by the fatal stop and stays
    foundation::iopcom = foundation::Iopcom{};
    foundation::logcom = foundation::Logcom{};
    foundation::fincom = foundation::Fincom{};
    foundation::parcom = foundation::Parcom{};
    parallel::cmpcom.master = true;
    parallel::cmpcom.myproc = 1;
    parallel::cmpcom.nprocs = 1;
    std::int32_t ierr = 0;
    lattice::inilat(ierr);
    lattice::latcom.nfbchg = 0;
    for (int i = 1; i <= cap::maxlat; ++i) lattice::latcom.fbduty(i) = false;
    bunch::iniprt(ierr);
    bunch::initrk(ierr);
    bunch::tr3com.errsum = 0.0;
    bunch::tr3com.state = bunch::StepControl{};
    bunch::inimon(ierr);
    bunch::moncom.status = bunch::MonitorStatus{};
    forces::inifrc(ierr);
    bunch::set_force_entry(nullptr, nullptr);
}

}  // namespace run
