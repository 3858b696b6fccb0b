// The harness of the tests run through mpiexec: every process checks what
// it can see with expect(); the failure counts are summed onto the master,
// which reports and returns nonzero when any process failed.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "parallel/cmplib.hpp"
#include "parallel/mpilayer.hpp"
#include "parallel/process.hpp"
#include "run/entry.hpp"

namespace mpicase {

inline int failures = 0;

inline void expect(bool ok, const std::string& what) {
    if (ok) return;
    ++failures;
    if (failures <= 20) std::printf(" process %d: FAILED %s\n", parallel::cmpcom.myproc, what.c_str());
}

// Starts the processes, runs the case named by argv[1] and ends the job.
inline int run(int argc, char** argv, std::initializer_list<std::pair<const char*, void (*)()>> cases) {
    if (!run::process_start()) return 1;
    run::handshake();
    const std::string what = argc > 1 ? argv[1] : "";
    bool known = false;
    for (const auto& [name, f] : cases)
        if (what == name) known = true, f();
    if (!known) expect(false, "unknown case '" + what + "'");
    double total = failures;
    parallel::accumu(std::span<double>(&total, 1));
    const bool master = parallel::cmpcom.master;
    if (master) std::printf(" %s on %d process(es): %s\n", what.c_str(), parallel::cmpcom.nprocs, total == 0 ? "passed" : "FAILED");
    std::fflush(stdout);
    parallel::mpi_stop();
    return (failures != 0 || (master && total != 0)) ? 1 : 0;
}

}  // namespace mpicase
