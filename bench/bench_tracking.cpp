// trck3d cost per particle and 0.1 m step of c*t in a drift, a dipole, a
// quadrupole and across a thin-quadrupole boundary.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "foundation/capacities.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "lattice/lattice.hpp"
#include "lattice/track.hpp"
#include "support/support.hpp"

namespace {

constexpr double P0 = 100.0;

// Work copies for up to maxprt particles, in zero-filled static storage.
double g_part[7 * cap::maxprt];
double g_start[7 * cap::maxprt];
std::int32_t g_ifb[2 * cap::maxprt];
std::int32_t g_ifb_start[2 * cap::maxprt];

enum Kind { drift = 0, dipole = 1, quad = 2, thin = 3 };

// Builds the lattice of one case and the start coordinate x0 of the bunch
// (with its next boundary).
void setup(Kind kind, double& x0, std::int32_t& ifb0) {
    testsupport::new_lattice();
    bunch::prtcls.p0 = P0;
    auto& L = lattice::latcom;
    switch (kind) {
        case drift:
            testsupport::add_section(0.0, 1000.0);
            x0 = 0.0;
            ifb0 = 1;
            break;
        case dipole:
            testsupport::add_section(0.0, 1.0);
            testsupport::add_section(10.0, 5.0);
            testsupport::add_section(0.0, 10.0);
            x0 = 1.0;
            ifb0 = 2;
            break;
        case quad: {
            testsupport::add_section(0.0, 1.0);
            const int e = testsupport::add_section(0.0, 2.0);
            L.nila += 1;
            L.ila(L.nila) = 2;
            L.rla(L.nrla + 1) = 0.0;
            L.rla(L.nrla + 2) = 0.0;
            L.rla(L.nrla + 3) = 1.0;
            L.rla(L.nrla + 4) = 0.0;
            L.nrla += 4;
            testsupport::set_codes(e, 1, 1);
            testsupport::add_section(0.0, 10.0);
            x0 = 1.5;
            ifb0 = 2;
            break;
        }
        case thin: {
            testsupport::add_section(0.0, 1.0);
            const int e = testsupport::add_section(0.0, 1.0);
            const int b = L.nrla;
            for (int j = 1; j <= 32; ++j) L.rla(b + j) = 0.0;
            for (int d = 0; d < 4; ++d) {
                L.rla(b + 1 + 5 * d) = 1.0;
                L.rla(b + 17 + 5 * d) = 1.0;
            }
            L.rla(b + 2) = -1.0;
            L.rla(b + 12) = 1.0;
            L.nrla += 32;
            testsupport::set_codes(e, 0, 1);
            testsupport::add_section(0.0, 100.0);
            x0 = 1.95;  // every particle crosses x = 2 in the step
            ifb0 = 2;
            break;
        }
    }
}

void BM_trck3d(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    double x0 = 0.0;
    std::int32_t ifb0 = 1;
    setup(kind, x0, ifb0);
    for (int i = 0; i < n; ++i) {
        double* s = g_start + 7 * static_cast<std::size_t>(i);
        const double f = static_cast<double>(i % 1000) / 1000.0 - 0.5;
        s[0] = x0;
        s[1] = 1e-3 * f;
        s[2] = -5e-4 * f;
        s[3] = P0 * (1.0 + 1e-3 * f);
        s[4] = 1e-4 * f;
        s[5] = 2e-4 * f;
        s[6] = 1e-15;
        g_ifb_start[2 * i] = ifb0;
        g_ifb_start[2 * i + 1] = 0;
    }
    const std::size_t nb = 7 * static_cast<std::size_t>(n) * sizeof(double);
    const std::size_t ni = 2 * static_cast<std::size_t>(n) * sizeof(std::int32_t);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(g_part, g_start, nb);
        std::memcpy(g_ifb, g_ifb_start, ni);
        state.ResumeTiming();
        testsupport::trck3d(n, g_part, g_ifb, 0.0, 0.1, 0.0, 0.1, nullptr, nullptr, false);
        benchmark::DoNotOptimize(g_part[0]);
    }
    // Time per particle and step (shown with an SI prefix, e.g. 700n = 700 ns).
    state.counters["per_particle_step"] = benchmark::Counter(
        static_cast<double>(n) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void cases(benchmark::internal::Benchmark* b) {
    for (int kind : {drift, dipole, quad, thin})
        for (int n : {10000, 100000, 300000}) b->Args({kind, n});
    b->ArgNames({"kind", "n"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_trck3d)->Apply(cases);

}  // namespace

BENCHMARK_MAIN();
