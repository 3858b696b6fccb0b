#include "run/entry.hpp"

#include <cstdio>
#include <string>

#include "forces/work.hpp"
#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/launcher.hpp"
#include "parallel/mpilayer.hpp"
#include "parallel/process.hpp"
#include "run/driver.hpp"
#include "run/slave.hpp"

namespace run {

using parallel::cmpcom;

bool process_start() {
    cmpcom.idebug = 0;
    int myproc = 1, nprocs = 1;
    parallel::mpi_start(myproc, nprocs);
    cmpcom.myproc = myproc;
    cmpcom.nprocs = nprocs;
    cmpcom.master = (myproc == 1);
    foundation::set_log_owner(cmpcom.master);
    // Refused before anything is written: a job started by the launcher of
    // another MPI (its processes would each run alone, all as masters), and
    // a job larger than the tag counters hold (every process refuses).
    parallel::LaunchCheck check = parallel::check_launcher(nprocs);
    if (check.line.empty()) check = {parallel::process_count_refusal(nprocs), myproc == 1};
    if (!check.line.empty()) {
        if (check.print) foundation::stdout_line(check.line);
        std::fflush(stdout);
        parallel::mpi_stop();
        return false;
    }
    for (int k = 1; k <= nprocs; ++k) cmpcom.itag(k) = 0;
    return true;
}

void handshake() {
    if (cmpcom.nprocs <= 1) return;
    ftypes::FStr<cap::txtlen> COMAND;
    if (cmpcom.master) {
        COMAND = "master to slave";
        parallel::sencmd(COMAND);
        parallel::reccmd(COMAND);  // the replies are not examined
    } else {
        parallel::reccmd(COMAND);
        COMAND = (COMAND == "master to slave") ? "ok" : "error";
        parallel::sencmd(COMAND);
    }
}

int process_main() {
    // every process of a refused job exits with a nonzero code
    if (!process_start()) return 1;
    handshake();

    // the work of the force models of this process, given to every
    // evaluation it takes part in
    const forces::WorkPtr work = forces::make_model_work();
    int rc = 0;
    if (cmpcom.master) {
        rc = tarvel(*work);
        parallel::release_slaves();
    } else {
        run::slave(*work);
    }
    std::fflush(stdout);
    parallel::mpi_stop();
    return rc;
}

}  // namespace run
