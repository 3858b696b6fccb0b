// One evaluation of the projected model on a Gaussian bunch of N particles
// 6 m into an arc of R = 10 m, sigma_long = 0.1 sigma_b, and its three
// costly parts on the same bunch: the deposit of the line current, the CSR
// wake on the grid and the convolution (direct sum and FFT). The second
// argument 1 makes sigma_long = 0.002 sigma_b (a grid of about 35000 points),
// where the convolution is the cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "forces/csr1d.hpp"
#include "forces/fconv.hpp"
#include "forces/force.hpp"
#include "forces/force1.hpp"
#include "forces/work.hpp"
#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "foundation/capacities.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"
#include "support/support.hpp"

namespace {

constexpr double R = 10.0, sigb = 1e-3, P0 = 1957.047868709806;  // 1 GeV/c

// Work arrays in zero-filled static storage.
double g_force[3 * cap::maxprt];
double g_ct[cap::maxprt], g_q[cap::maxprt];
double g_cur[cap::nsamax], g_wake[cap::narcsr], g_out[cap::nsamax];
double g_mom[2 * forces::nmom * cap::nsamax];
forces::CsrWork g_csr;
forces::FftWork g_fft;

struct Setup {
    forces::Fc1Grid grid;
    forces::WakePars wake;
    int n;
};

// Lattice, bunch and the grid of the model for n particles.
Setup setup(int n, bool long_grid) {
    testsupport::new_lattice();
    testsupport::add_section(0.0, 1.0);
    testsupport::add_section(R, 10.0);
    testsupport::add_section(0.0, 5.0);
    auto& L = lattice::latcom;
    L.nfbchg = 2;
    L.sr_s(1) = 1.0;
    L.sr_r(1) = R;
    L.sr_s(2) = 11.0;
    L.sr_r(2) = 0.0;
    auto& f = bunch::force_settings;
    f.sigma_long = (long_grid ? 0.002 : 0.1) * sigb;
    f.shield = 0.0;
    f.shield_max = 0.3;
    f.lwake = f.ltest = false;
    auto& B = bunch::prtcls;
    B.npart = n;
    B.p0 = P0;
    std::mt19937 gen(11);
    std::normal_distribution<double> nd(0.0, sigb);
    const double beta = P0 / std::sqrt(P0 * P0 + 1.0);
    double ctmin = 0.0, ctmax = 0.0;
    for (int j = 1; j <= n; ++j) {
        const double z = j == 1 ? 0.0 : nd(gen), a = 6.0 + z;  // arc length from the arc's start
        const double rec[7] = {1.0 + R * std::sin(a / R), -R + R * std::cos(a / R), 0.0, P0, -a / R, 0.0, 1e-9 / n};
        for (int k = 1; k <= 7; ++k) B.xptcl(k, j) = rec[k - 1];
        B.iptcl(1, j) = 2;
        B.lact(j) = B.ldef(j) = true;
        g_ct[j - 1] = -z / beta;
        g_q[j - 1] = 1e-9 / n;
        ctmin = std::min(ctmin, g_ct[j - 1]);
        ctmax = std::max(ctmax, g_ct[j - 1]);
    }
    Setup s{};
    s.n = n;
    s.grid.sp = 0.7071067811865476 * f.sigma_long / beta;
    s.grid.h = 0.2 * s.grid.sp;
    s.grid.ng1 = int(std::round((ctmin - 5.0 * s.grid.sp) / s.grid.h));
    s.grid.ng2 = int(std::round((ctmax + 5.0 * s.grid.sp) / s.grid.h));
    s.grid.nsam = s.grid.ng2 - s.grid.ng1 + 1;
    s.wake.sigma = s.grid.sp * beta;
    s.wake.gamma = P0 / beta;
    s.wake.s1 = 7.0;
    s.wake.x_first = (1 - s.grid.nsam) * s.grid.h * beta;
    s.wake.x_last = 25 * s.grid.h * beta;
    return s;
}

forces::SrTable table() {
    return forces::SrTable(std::span<const double>(lattice::latcom.srtab.data(), 4), 2);
}

void BM_force1(benchmark::State& st) {
    const Setup s = setup(int(st.range(0)), st.range(1) != 0);
    const int n = s.n;
    for (auto _ : st) {
        const std::int32_t ierr = forces::force1(
            forces::input_of(foundation::particles(bunch::prtcls.xptcl, n), foundation::indices(bunch::prtcls.iptcl, n)),
            foundation::ForceView(g_force, n), testsupport::model_work());
        benchmark::DoNotOptimize(ierr);
    }
    st.counters["nsam"] = s.grid.nsam;
}

void BM_deposit(benchmark::State& st) {
    const Setup s = setup(int(st.range(0)), st.range(1) != 0);
    const std::size_t n = std::size_t(s.n), ns = std::size_t(s.grid.nsam);
    for (auto _ : st) {
        std::fill(g_cur, g_cur + ns, 0.0);
        forces::fc1dep({g_q, n}, {g_ct, n}, s.grid, {g_cur, ns}, g_mom);
        benchmark::DoNotOptimize(g_cur[ns / 2]);
    }
}

void BM_wake(benchmark::State& st) {
    const Setup s = setup(int(st.range(0)), st.range(1) != 0);
    const std::size_t nw = std::size_t(s.grid.nsam) + 25;
    for (auto _ : st) {
        forces::WakePars E = s.wake;
        const int status = forces::csr5(table(), 1, E, {g_wake, nw}, g_csr);
        benchmark::DoNotOptimize(status);
    }
}

template <bool fft>
void BM_convolution(benchmark::State& st) {
    const Setup s = setup(int(st.range(0)), st.range(1) != 0);
    const std::size_t ns = std::size_t(s.grid.nsam), nw = ns + 25;
    forces::WakePars E = s.wake;
    if (forces::csr5(table(), 1, E, {g_wake, nw}, g_csr) != 0) st.SkipWithError("wake failed");
    std::fill(g_cur, g_cur + ns, 0.0);
    forces::fc1dep({g_q, std::size_t(s.n)}, {g_ct, std::size_t(s.n)}, s.grid, {g_cur, ns}, g_mom);
    const int kw1 = 1 - s.grid.nsam, ng1 = s.grid.ng1;
    for (auto _ : st) {
        if (fft) forces::cnvfft({g_wake, nw}, kw1, {g_cur, ns}, ng1, {g_out, ns}, ng1, 1.0, g_fft);
        else forces::cnvdir({g_wake, nw}, kw1, {g_cur, ns}, ng1, {g_out, ns}, ng1, 1.0);
        benchmark::DoNotOptimize(g_out[ns / 2]);
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int n : {1000, 10000, 100000, 300000}) b->Args({n, 0});
    b->Args({100000, 1});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_force1)->Apply(sizes);
BENCHMARK(BM_deposit)->Apply(sizes);
BENCHMARK(BM_wake)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_convolution, false)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_convolution, true)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
