#include "run/entry.hpp"

#include <cstdio>
#include <string>

#include "parallel/mpilayer.hpp"
#include "run/driver.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"

namespace run {

int process_main() {
    cmpcom.idebug = 0;
    int myproc = 1, nprocs = 1;
    parallel::mpi_start(myproc, nprocs);
    cmpcom.myproc = myproc;
    cmpcom.nprocs = nprocs;
    cmpcom.master = (myproc == 1);
    if (nprocs > cap::maxproc) {
        // the tag counters hold 100 partners: refuse larger jobs on every process
        if (myproc == 1)
            stdout_line(" error: " + std::to_string(nprocs) + " processes, at most " +
                        std::to_string(cap::maxproc) + " are supported");
        std::fflush(stdout);
        parallel::mpi_stop();
        return 1;
    }
    for (int k = 1; k <= nprocs; ++k) cmpcom.itag(k) = 0;

    int rc = 0;
    if (cmpcom.master) rc = tarvel();
    std::fflush(stdout);
    parallel::mpi_stop();
    return rc;
}

}  // namespace run
