// Time of one transverse-size term (fzsp) for an observer inside the bunch:
// model 1 (ribbon, 100 closed-form pieces), 2 (circular Gaussian) and 3
// (elliptical Gaussian, a sum over displaced circular Gaussians; sigmaz 2 mm
// over sigmar 1 mm with a vertical long axis, and the reverse with a
// horizontal one). The field entry calls it once per evaluation.
#include <benchmark/benchmark.h>

#include "fieldlib/transverse.hpp"

namespace {

using namespace fieldlib;

void BM_fzsp(benchmark::State& state) {
    const int method = static_cast<int>(state.range(0));
    const bool wide = state.range(1) != 0;
    Fcdata fc{};
    fcoini(fc, "method", method);
    fcoini(fc, "sigmaz", wide ? 1e-3 : 2e-3);
    fcoini(fc, "sigmar", wide ? 2e-3 : 1e-3);
    fcoini(fc, "ex", 0.0), fcoini(fc, "ey", 0.0), fcoini(fc, "ez", 1.0);
    Fzget nz{};
    nz.e0 = -1e-9, nz.e1 = 2e-3, nz.e2 = 5e-7, nz.gamma = 100.0, nz.rlog = 1.0;
    nz.t0(1) = 0.6, nz.t0(2) = 0.8, nz.t0(3) = 0.0;
    nz.kperp(1) = -0.16, nz.kperp(2) = 0.12, nz.kperp(3) = 0.0;
    // 0.5 mm across the path in the horizontal plane, 0.3 mm above it
    nz.rperp(1) = -0.8 * 5e-4, nz.rperp(2) = 0.6 * 5e-4, nz.rperp(3) = 3e-4;
    W15 W;
    for (auto _ : state) {
        fzsp(fc, nz, W);
        benchmark::DoNotOptimize(W(1));
    }
}

BENCHMARK(BM_fzsp)->ArgNames({"method", "wide"})->Args({1, 0})->Args({2, 0})->Args({3, 0})->Args({3, 1});

}  // namespace

BENCHMARK_MAIN();
