// Fixed-step Runge-Kutta steps per second with the six-variable right-hand
// side of the particle tracking.
#include <benchmark/benchmark.h>

#include <cmath>

#include "foundation/math.hpp"

namespace {

// Lab-frame equations of motion of a particle in a uniform field B (m*c
// per m), as the tracking integrates them: x, y, z, p, phi, theta.
void uniform_field(double, const double* y, double* d, const void* ctx) {
    const double B = *static_cast<const double*>(ctx);
    const double p = y[3], gam = std::sqrt(p * p + 1.0), beta = 1.0 / std::sqrt(1.0 / (p * p) + 1.0);
    const double cth = std::cos(y[5]);
    d[0] = beta * std::cos(y[4]) * cth;
    d[1] = beta * std::sin(y[4]) * cth;
    d[2] = beta * std::sin(y[5]);
    d[3] = 0.0;
    d[4] = -B / gam;
    d[5] = 0.0;
}

void BM_rk4_six_variables(benchmark::State& state) {
    // Uniform field of radius 10 m for p = 100 (B = 10 m*c per m), no force.
    const double B = 10.0;
    constexpr int nstep = 1000;
    for (auto _ : state) {
        double v[6] = {0.0, 0.0, 1e-3, 100.0, 0.0, 1e-4};
        foundation::rkdumb(v, 0.0, 1.0, nstep, uniform_field, &B);
        benchmark::DoNotOptimize(v[0]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nstep);
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nstep, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_rk4_six_variables);

}  // namespace

BENCHMARK_MAIN();
