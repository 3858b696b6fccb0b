// Fixed-step Runge-Kutta steps per second with the six-variable right-hand
// side of the particle tracking.
#include <benchmark/benchmark.h>

#include "lattice/track.hpp"
#include "foundation/math.hpp"

namespace {

void BM_rk4_six_variables(benchmark::State& state) {
    // Uniform field of radius 10 m for p = 100 (B = 10 m*c per m), no force.
    double par[lattice::npar_track] = {0.0, 1.0, 0, 0, 0, 0, 0, 0, 10.0, 10.0, 0, 0, 0, 0, 0, 0, 0};
    constexpr int nstep = 1000;
    for (auto _ : state) {
        double v[6] = {0.0, 0.0, 1e-3, 100.0, 0.0, 1e-4};
        foundation::rkdumb(v, 6, 0.0, 1.0, nstep, lattice::ctrder, par, lattice::npar_track);
        benchmark::DoNotOptimize(v[0]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nstep);
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nstep, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_rk4_six_variables);

}  // namespace

BENCHMARK_MAIN();
