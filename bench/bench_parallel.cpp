// Timing of the message layer: one parallel force evaluation's traffic
// ("parallel forces" command, particle hand-out, settings broadcast, sum
// of the 3 x N forces onto the master) at N = 1e4, 1e5 and 3e5 particles,
// through the real slave loop; and master-only work while the slaves wait
// for their next command.
//
// Run by hand after a Release build with -DTARVEL_BENCH=ON:
// (M: build-bench/tarvel_mpiexec, the launcher of the MPI it is linked with)
//   M -n 2 build-bench/bench/bench_parallel          round trips, P = 2
//   M -n 4 build-bench/bench/bench_parallel          round trips, P = 4
//   M -n 1 build-bench/bench/bench_parallel idle     master-only work, P = 1
//   taskset -c 0,1 M -n 4 build-bench/bench/bench_parallel idle
//                                                    the same, P = 4 on 2 cores
//   M -n 4 build-bench/bench/bench_parallel react    reaction of an idle slave
// The waiting slaves sleep between polls, so the last time should stay
// within about 10% of the P = 1 time. "react" lets the slaves wait 0.1 to
// 100 ms for their next command and times the round trip of a one-particle
// evaluation from the command on (the time a waiting slave takes to see
// its command, plus a few microseconds of messages). With "idle" and
// "react" each slave prints the processor time it used over its life.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

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
void round_trip(forces::ModelWork&, std::int32_t& itype, foundation::ParticleView xp, foundation::IndexView ip, double& ct,
                forces::SubBunchSizes&, foundation::ForceView F, std::int32_t& ierr) {
    std::int32_t npart = xp.size();
    parallel::traxph(npart, xp, ip, ct);
    double* f = F.words().data();
    double settings[5];
    settings[0] = ct;
    settings[4] = itype;
    std::int32_t ncol = 5;
    parallel::distri(settings, 1, ncol);
    for (std::int32_t j = 0; j < 3 * npart; ++j) f[j] = 1.0;
    parallel::accumu(F.words().first(3 * std::size_t(npart)));
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
    // the models' work the slave loop is given (round_trip does not read it)
    const forces::WorkPtr work = forces::make_model_work();
    const bool idle = argc > 1 && std::string(argv[1]) == "idle";
    const bool react = argc > 1 && std::string(argv[1]) == "react";
    if (!parallel::cmpcom.master) {
        const auto w0 = clk::now();
        const std::clock_t c0 = std::clock();
        run::slave(*work, &round_trip);
        if (react || idle) {
            const double wall = std::chrono::duration<double>(clk::now() - w0).count();
            const double cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
            std::printf("slave %d: processor time %.3f s in %.3f s (%.1f%% of a core)\n",
                        parallel::cmpcom.myproc, cpu, wall, 100.0 * cpu / wall);
        }
        parallel::mpi_stop();
        return 0;
    }
    auto& p = bunch::prtcls;
    if (react) {
        p.npart = 1;
        for (double idle_ms : {0.1, 1.0, 10.0, 100.0}) {
            const int reps = idle_ms < 50.0 ? 100 : 20;
            double sum = 0.0, worst = 0.0;
            for (int r = 0; r < reps; ++r) {
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(idle_ms));
                const auto t0 = clk::now();
                parallel::sencmd(std::string("parallel forces"));
                std::int32_t itype = 2, ierr = 0;
                double ct = 0.0;
                forces::SubBunchSizes sizes{};
                round_trip(*work, itype, foundation::particles(p.xptcl, 1), foundation::indices(p.iptcl, 1), ct, sizes,
                           foundation::forces_of(F, 1), ierr);
                const double ms = std::chrono::duration<double, std::milli>(clk::now() - t0).count();
                sum += ms;
                worst = std::max(worst, ms);
            }
            std::printf("slaves idle %6.1f ms, P=%d: reaction %.3f ms on average, %.3f ms at most\n", idle_ms,
                        parallel::cmpcom.nprocs, sum / reps, worst);
        }
    } else if (idle) {
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
                forces::SubBunchSizes sizes{};
                round_trip(*work, itype, foundation::particles(p.xptcl, n), foundation::indices(p.iptcl, n), ct, sizes,
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
