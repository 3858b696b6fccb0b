// Whole force-free tracking runs: the time loop of a run (time step and
// step-size control with duty steps) through a drift and a dipole, for
// bunches of 1e3 to 3e5 particles. Reports seconds per step, seconds per
// particle-step and the share of the run spent outside the particle
// tracking itself (trck3d), the latter measured by replaying the run's
// steps with trck3d alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "bunch/tracker.hpp"
#include "foundation/log.hpp"
#include "forces/force.hpp"
#include "foundation/capacities.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/lattice.hpp"
#include "lattice/track.hpp"
#include "support/support.hpp"
#include "parallel/process.hpp"

namespace {

constexpr double P0 = 100.0;

// Start copy of the bunch and the replay copy, in zero-filled storage.
double g_start[7 * cap::maxprt];
std::int32_t g_ifb_start[2 * cap::maxprt];
double g_part[7 * cap::maxprt];
std::int32_t g_ifb[2 * cap::maxprt];

// Drift of 0.3 m, dipole of radius 10 m and length 0.5 m (duty entry and
// exit), drift; a bunch of n particles 1 mm long starting at x = 0.
void setup(int n) {
    testsupport::new_lattice();
    testsupport::add_section(0.0, 0.3, true);
    testsupport::add_section(10.0, 0.5, true);
    testsupport::add_section(0.0, 10.0, false);
    auto& b = bunch::prtcls;
    b.npart = n;
    b.p0 = P0;
    for (int i = 1; i <= n; ++i) {
        const double f = static_cast<double>(i % 1000) / 1000.0 - 0.5;
        const double g = static_cast<double>((i * 7919) % 997) / 997.0 - 0.5;
        double* s = g_start + 7 * static_cast<std::size_t>(i - 1);
        s[0] = i == 1 ? 0.0 : 1e-3 * f;
        s[1] = i == 1 ? 0.0 : 2e-4 * g;
        s[2] = i == 1 ? 0.0 : -1e-4 * f * g;
        s[3] = P0 * (1.0 + 1e-3 * g);
        s[4] = i == 1 ? 0.0 : 1e-4 * g;
        s[5] = 0.0;
        s[6] = 1e-15;
        g_ifb_start[2 * (i - 1)] = 1;
        g_ifb_start[2 * (i - 1) + 1] = 0;
        b.ldef(i) = true;
        b.lact(i) = true;
    }
    std::int32_t i0 = 0;
    bunch::initrk(i0);
    forces::inifrc(i0);
}

void restore(int n) {
    auto& b = bunch::prtcls;
    std::memcpy(b.xptcl.data(), g_start, 7 * static_cast<std::size_t>(n) * sizeof(double));
    std::memcpy(b.iptcl.data(), g_ifb_start, 2 * static_cast<std::size_t>(n) * sizeof(std::int32_t));
    b.ctptcl = 0.0;
    b.lfbidx = true;
    lattice::latcom.lfbok = true;
}

void BM_force_free_run(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    parallel::cmpcom.master = false;  // no log lines during the timing
    setup(n);
    bunch::tr3com.duty_steps = state.range(1) != 0;
    std::vector<double> targets;
    double run_seconds = 0.0, trck_seconds = 0.0;
    long steps = 0;
    for (auto _ : state) {
        restore(n);
        std::int32_t ierr = 0;
        testsupport::inila2(ierr);
        bunch::trkcom.end_time_c0 = 1.5;
        targets.clear();
        const auto t0 = std::chrono::steady_clock::now();
        double ctnext = bunch::prtcls.ctptcl;
        ftypes::Logical reset = true, lstep = true;
        do {
            double derr = 0.0;
            targets.push_back(ctnext);
            bunch::ttrack(ctnext, derr, ierr);
            bunch::steper(ctnext, reset, lstep);
        } while (lstep);
        const auto t1 = std::chrono::steady_clock::now();
        // replay: the same moves with trck3d alone
        std::memcpy(g_part, g_start, 7 * static_cast<std::size_t>(n) * sizeof(double));
        std::memcpy(g_ifb, g_ifb_start, 2 * static_cast<std::size_t>(n) * sizeof(std::int32_t));
        double ct = 0.0;
        for (double t : targets) {
            if (t > ct) testsupport::trck3d(n, g_part, g_ifb, ct, t, ct, t, nullptr, nullptr, false);
            ct = t;
        }
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(g_part[0]);
        const double tr = std::chrono::duration<double>(t1 - t0).count();
        run_seconds += tr;
        trck_seconds += std::chrono::duration<double>(t2 - t1).count();
        steps += static_cast<long>(targets.size()) - 1;  // the zero-length first step moves nothing
        state.SetIterationTime(tr);
    }
    parallel::cmpcom.master = true;
    state.counters["steps"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
    state.counters["s_per_step"] = run_seconds / static_cast<double>(steps);
    state.counters["s_per_particle_step"] = run_seconds / (static_cast<double>(steps) * n);
    state.counters["outside_trck3d"] = run_seconds > 0.0 ? (run_seconds - trck_seconds) / run_seconds : 0.0;
}

BENCHMARK(BM_force_free_run)
    ->ArgsProduct({{1000, 10000, 100000, 300000}, {1, 0}})
    ->ArgNames({"n", "duty"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Long force-free runs of two particles through a drift at the default
// step limits (0.1 m): 10^4 to 8*10^4 steps. The time per step must not
// grow with the length of the run (the step planner projects the steps
// left to the end time at every step).
void BM_long_run(benchmark::State& state) {
    const double length = static_cast<double>(state.range(0));  // delta_time_c0 [m]
    parallel::cmpcom.master = false;
    foundation::set_log_owner(false);  // no step lines during the timing
    setup(2);
    long steps = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        restore(2);
        std::int32_t ierr = 0;
        testsupport::inila2(ierr);
        bunch::trkcom.end_time_c0 = length;
        const auto t0 = std::chrono::steady_clock::now();
        double ctnext = bunch::prtcls.ctptcl;
        ftypes::Logical reset = true, lstep = true;
        do {
            double derr = 0.0;
            bunch::ttrack(ctnext, derr, ierr);
            bunch::steper(ctnext, reset, lstep);
            ++steps;
        } while (lstep);
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        seconds += t;
        state.SetIterationTime(t);
    }
    parallel::cmpcom.master = true;
    foundation::set_log_owner(true);
    state.counters["steps"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
    state.counters["us_per_step"] = 1e6 * seconds / static_cast<double>(steps);
}

BENCHMARK(BM_long_run)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->ArgName("delta_time_c0")
    ->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
