// Timing of the message layer: one parallel force evaluation's traffic
// ("parallel forces" command, particle hand-out, settings broadcast, sum
// of the 3 x N forces onto the master) at N = 1e4, 1e5 and 3e5 particles,
// through the real slave loop; and master-only work while the slaves wait
// for their next command.
//
// Run by hand after a Release build with -DTARVEL_BENCH=ON:
//   mpiexec -n 2 build/bench/bench_parallel          round trips, P = 2
//   mpiexec -n 4 build/bench/bench_parallel          round trips, P = 4
//   mpiexec -n 1 build/bench/bench_parallel idle     master-only work, P = 1
//   taskset -c 0,1 mpiexec -n 4 build/bench/bench_parallel idle
//                                                    the same, P = 4 on 2 cores
// The waiting slaves sleep between polls, so the last time should stay
// within about 10% of the P = 1 time.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bunch/prtcls.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/mpilayer.hpp"
#include "run/slave.hpp"
#include "run/entry.hpp"
#include "parallel/process.hpp"

namespace {

using clk = std::chrono::steady_clock;

ftypes::Arr2<double, 3, cap::maxprt> F;

// The traffic of one evaluation, on every process.
void round_trip(std::int32_t& itype, foundation::ParticleView xp, foundation::IndexView ip, double& ct,
                foundation::ForceView F, std::int32_t& ierr) {
    std::int32_t npart = xp.size();
    parallel::traxph(npart, xp, ip, ct);
    double* f = F.words().data();
    double settings[5];
    settings[0] = ct;
    settings[4] = itype;
    std::int32_t ncol = 5;
    parallel::distri(settings, 1, ncol, 5);
    for (std::int32_t j = 0; j < 3 * npart; ++j) f[j] = 1.0;
    parallel::accumu(f, 3, npart);
    ierr = 0;
}

// CPU-bound work of a fixed size; returns a value so it is not optimised away.
double master_work() {
    double s = 0.0;
    for (int i = 1; i <= 200000000; ++i) s += std::sqrt(double(i)) * 1e-9;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (!run::process_start()) return 1;
    run::handshake();
    run::parallel_forces_hook = &round_trip;
    const bool idle = argc > 1 && std::string(argv[1]) == "idle";
    if (!parallel::cmpcom.master) {
        run::slave();
        parallel::mpi_stop();
        return 0;
    }
    auto& p = bunch::prtcls;
    if (idle) {
        auto t0 = clk::now();
        double s = master_work();
        double sec = std::chrono::duration<double>(clk::now() - t0).count();
        std::printf("master-only work, P=%d: %.3f s (checksum %.6f)\n", parallel::cmpcom.nprocs, sec, s);
    } else {
        for (std::int32_t n : {10000, 100000, 300000}) {
            p.npart = n;
            for (std::int32_t j = 1; j <= n; ++j) {
                for (int k = 1; k <= 7; ++k) p.xptcl(k, j) = j + 0.1 * k;
                p.iptcl(1, j) = 1;
                p.iptcl(2, j) = 0;
            }
            const int reps = n <= 10000 ? 200 : (n <= 100000 ? 40 : 15);
            double ct = 0.0;
            auto one = [&] {
                parallel::sencmd(std::string("parallel forces"));
                std::int32_t itype = 2, ierr = 0;
                round_trip(itype, foundation::particles(p.xptcl, n), foundation::indices(p.iptcl, n), ct,
                           foundation::forces_of(F, n), ierr);
            };
            one();  // warm-up
            auto t0 = clk::now();
            for (int r = 0; r < reps; ++r) one();
            double ms = std::chrono::duration<double, std::milli>(clk::now() - t0).count() / reps;
            std::printf("round trip N=%7d P=%d: %9.3f ms\n", n, parallel::cmpcom.nprocs, ms);
        }
    }
    parallel::sencmd(std::string("stopp"));
    parallel::mpi_stop();
    return 0;
}
