// The design path and the field library: nanoseconds per path evaluation
// (straight, arc, small turn), per cache hit and miss, per nearest-point
// search, per path set-up on lattices of 3, 20 and 100 boundaries, and
// microseconds per field call in the settings of the particle-to-particle
// model (q0 1, xnsigt 5, relacc 1e-4, zsymmetry and 1dmirror on), for
// observers inside a sub-bunch on an arc, far ahead of it and beside the
// path, as a thin line, a round Gaussian (model 2) and an ellipse (model 3),
// free and between plates 2 cm apart. Counters: path evaluations,
// integrand evaluations and heap allocations per field call.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <cstdlib>
#include <new>
#include <vector>

#include "fieldlib/field.hpp"
#include "fieldlib/fldint.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "lattice/lattice.hpp"
#include "lattice/pthgen.hpp"
#include "support/design_paths.hpp"
#include "support/support.hpp"

// Every heap allocation of the process is counted (the replacement pair
// malloc/free is matched, whatever the compiler infers).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long long> g_allocs{0};

void* operator new(std::size_t n) {
    ++g_allocs;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using foundation::clight;  // m/s
constexpr double P = 200.0;  // m*c, about 100 MeV
const double GAMMA = std::sqrt(P * P + 1.0);

// The field library of the benchmarks (zero-filled).
fieldlib::Context& bench_context() {
    static const std::unique_ptr<fieldlib::Context> cx = std::make_unique<fieldlib::Context>();
    return *cx;
}

// 5 m straight, a 2 m arc of radius 10 m, 5 m straight; anchor 1 m into the arc.
void bend_path() { (void)pathtest::set_path(bench_context().path, {{5.0, 0.0}, {2.0, 0.1}, {5.0, 0.0}}, 6.0, P); }

void BM_path(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));  // 0 straight, 1 arc, 2 small turn
    if (kind == 2) (void)pathtest::set_path(bench_context().path, {{5.0, 0.0}, {2.0, 1e-9}, {5.0, 0.0}}, 6.0, P);
    else bend_path();
    const double s0 = kind == 0 ? -3.0 : 0.0;
    lattice::PathPoint out;
    int i = 0;
    for (auto _ : state) {
        lattice::path(bench_context().path, s0 + 1e-4 * (i++ & 1023), out);
        benchmark::DoNotOptimize(out.pos(1));
    }
}
BENCHMARK(BM_path)->ArgName("straight0_arc1_small2")->DenseRange(0, 2);

void BM_pthget(benchmark::State& state) {
    const bool hit = state.range(0) != 0;
    bend_path();
    auto& cx = bench_context();
    fieldlib::pthini(cx);
    fieldlib::PathPoint p;
    double beta;
    int i = 0;
    for (auto _ : state) {
        fieldlib::pthget(cx, hit ? 0.25 : 1e-4 * (i++ & 1023), p, beta);
        benchmark::DoNotOptimize(p.pos(1));
    }
}
BENCHMARK(BM_pthget)->ArgName("hit")->Arg(1)->Arg(0);

void BM_fsmini(benchmark::State& state) {
    bend_path();
    auto& cx = bench_context();
    fieldlib::pthlim(cx);
    const auto& A = cx.acclim;
    fieldlib::V3 r;
    int i = 0;
    for (auto _ : state) {
        // observers within a millimetre of the path, as in a sub-bunch
        const double a = 0.37 * (i++ & 63);
        r(1) = 1e-3 * std::cos(a);
        r(2) = 1e-3 * std::sin(a);
        r(3) = 0.0;
        // the search starts at the observer's own path position, as the
        // force models start it
        fieldlib::fsmini(cx, r, A.Slow, A.Shigh, 1e-16, r(1));
        benchmark::DoNotOptimize(cx.fsdata.s);
    }
}
BENCHMARK(BM_fsmini);

// A lattice of n boundaries: 0.5 m drifts alternating with arcs of 10 m
// radius and 0.5 m length; the particle at the start.
void BM_setpth(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    testsupport::new_lattice();
    bunch::prtcls.p0 = P;
    for (int k = 1; k <= n; ++k) testsupport::add_section(k % 2 == 0 ? 10.0 : 0.0, 0.5);
    const double part[7] = {0.25, 0.0, 0.0, P, 0.0, 0.0, 1.0};
    for (auto _ : state) {
        fieldlib::setpth(bench_context(), lattice::latcom, part, 1, 0.0, bunch::prtcls.p0);
        benchmark::DoNotOptimize(bench_context().path.Rintma);
    }
}
BENCHMARK(BM_setpth)->ArgName("boundaries")->Arg(3)->Arg(20)->Arg(100)->Unit(benchmark::kMicrosecond);

// The settings force2 gives, for a sub-bunch of 100 um (1 mm for the
// sizes of the transverse models).
void settings(int method, double hc) {
    const auto finit = [](std::string_view name, double value) { fieldlib::finit(bench_context(), name, value); };
    const double sig = 1e-4;
    finit("q0", 1.0);
    finit("xnsigt", 5.0);
    finit("relacc", 1e-4);
    finit("zsymmetry", 1.0);
    finit("1dmirror", 1.0);
    finit("hc", hc);
    finit("hmax", 0.5);
    finit("rintmi", 1e-6);
    finit("notalman", 0.0);
    finit("nogamma2", 0.0);
    finit("1dpoleex", 0.0);
    finit("method", method);
    finit("sigmat", sig / (clight * P / GAMMA));
    if (method == 3) finit("sigmar", 0.5 * sig);
    if (method != 0) finit("sigmaz", sig);
}

// Observers of one case: 64 points scattered around its centre (path frame).
std::vector<std::array<double, 3>> observers(int where) {
    std::vector<std::array<double, 3>> obs;
    for (int i = 0; i < 64; ++i) {
        const double u = std::sin(1.7 * i), v = std::cos(2.3 * i), w = std::sin(0.9 * i + 1.0);
        switch (where) {
            case 0: obs.push_back({1e-4 * u, 5e-5 * v, 2e-5 * w}); break;              // inside the sub-bunch
            case 1: obs.push_back({0.05 + 1e-4 * u, 5e-5 * v, 2e-5 * w}); break;       // 5 cm ahead
            default: obs.push_back({1e-4 * u, 2e-3 + 5e-5 * v, 2e-5 * w}); break;      // 2 mm beside
        }
    }
    return obs;
}

void BM_field(benchmark::State& state) {
    const int where = static_cast<int>(state.range(0));
    const int method = static_cast<int>(state.range(1));
    const double hc = state.range(2) != 0 ? 0.02 : 0.0;
    bend_path();
    fieldlib::pthlim(bench_context());
    settings(method, hc);
    const auto obs = observers(where);
    const double e[3] = {1.0, 0.0, 0.0};
    const auto& counters = bench_context().counters;
    const auto c0 = counters;
    long long allocs = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        const long long a0 = g_allocs;
        const auto& r = obs[i++ & 63];
        const fieldlib::FieldResult res = fieldlib::field(bench_context(), 0.0, r, GAMMA, e, r[0]);
        allocs += g_allocs - a0;
        benchmark::DoNotOptimize(res.E(1));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["allocs_per_call"] = double(allocs) / n;
    state.counters["path_per_call"] = double(counters.path_calls - c0.path_calls) / n;
    state.counters["integrand_per_call"] = double(counters.integrand_calls - c0.integrand_calls) / n;
}
BENCHMARK(BM_field)
    ->ArgNames({"inside0_ahead1_beside2", "method", "plates"})
    ->ArgsProduct({{0, 1, 2}, {0, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
