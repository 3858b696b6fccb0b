// Timing of the particle-to-particle model "csr_p_to_p": one force
// evaluation (forcei on the master, the real slave loop on the others) of a
// 1 mm Gaussian bunch of N particles at 1 GeV/c, 1.5 m deep in a bend of
// radius 2 m (0.1 mm random transverse offsets), sub-bunches of 0.5 mm.
//
// Run by hand after a Release build (bench/run_bench_force2.sh runs it at 1,
// 2, 4 and 8 processes and adds the parallel efficiency):
//   build-bench/tarvel_mpiexec -n P build-bench/bench/bench_force2 [nfb=K] [N ...]   (default 200 1000 2000)
// nfb=K gives the lattice K field boundaries (default 3): the 1 m straight
// before the bend is cut into K - 2 pieces, which leaves the physics alone
// but makes every design path cross K boundaries.
// One line per N:
//   N P eval_s fields_per_s_per_proc path_share master_loop_s slave_loop_s gap_eval_s
// eval_s: wall time of one evaluation on the master (back to back);
// fields_per_s_per_proc: field calls of the evaluation / (P * eval_s);
// path_share: the largest share, over the processes, of the source loop
// spent building design paths; master_loop_s and slave_loop_s: processor
// seconds of the source loop of the master and of the busiest slave (the
// own share, before the sum; not counting other jobs on the machine);
// gap_eval_s: the same evaluation after the master has worked alone for
// 50 ms (the slaves wait idle for the command meanwhile, as between the
// evaluations of a tracking run).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "forces/force.hpp"
#include "forces/force2.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/mpilayer.hpp"
#include "parallel/process.hpp"
#include "run/entry.hpp"
#include "run/slave.hpp"
#include "run/tracom.hpp"
#include "support/support.hpp"

namespace {

using clk = std::chrono::steady_clock;
double since(clk::time_point t0) { return std::chrono::duration<double>(clk::now() - t0).count(); }

ftypes::Arr2<double, 3, cap::maxprt> F;

// Per evaluation and process: source-loop seconds, path seconds, field
// calls, frcims seconds; summed onto the master at the end.
constexpr int maxeval = 64, nstat = 4;
double stats[maxeval][cap::maxproc][nstat];
int evals = 0;

void record() {
    const auto& w = testsupport::model_work().p2p;
    double* s = stats[evals][parallel::cmpcom.myproc - 1];
    s[0] = w.loop_seconds;
    s[1] = w.path_seconds;
    s[2] = double(w.fields);
}

// The slave side: the real frcims, timed.
void timed_frcims(forces::ModelWork& work, std::int32_t& itype, foundation::ParticleView xp, foundation::IndexView ip, double& ct,
                  forces::SubBunchSizes& sizes, foundation::ForceView f, std::int32_t& ierr) {
    const auto t0 = clk::now();
    forces::frcims(work, itype, xp, ip, ct, sizes, f, ierr);
    if (evals < maxeval) {
        record();
        stats[evals][parallel::cmpcom.myproc - 1][3] = since(t0);
    }
    ++evals;
}

// The bunch: n particles, a quiet start of the Gaussian along the arc.
void make_bunch(int n) {
    const double R = 2.0, sigma = 1e-3, uc = 1.5, p = 1e9 * foundation::force_scale;
    auto& b = bunch::prtcls;
    b.npart = n;
    b.ctptcl = 0.0;
    b.p0 = p;
    b.qsign = 1;
    std::uint64_t seed = 12345;
    auto uniform = [&] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(seed >> 11) * (1.0 / 9007199254740992.0);
    };
    for (int i = 1; i <= n; ++i) {
        // the Gaussian quantile of (i - 0.5)/n by bisection
        double lo = -10.0, hi = 10.0;
        for (int k = 0; k < 100; ++k) {
            const double mid = 0.5 * (lo + hi);
            (0.5 * std::erfc(-mid / std::sqrt(2.0)) < (i - 0.5) / n ? lo : hi) = mid;
        }
        // u along the arc, h outward (uniform, rms 0.1 mm); the arc's centre at (1, -R)
        const double u = uc + sigma * 0.5 * (lo + hi), h = 1.7320508075688772e-4 * (2.0 * uniform() - 1.0);
        const double a = u / R;
        const double r[7] = {1.0 + (R + h) * std::sin(a), -R + (R + h) * std::cos(a), 0.0, p, -a, 0.0, 1e-9 / n};
        for (int k = 1; k <= 7; ++k) b.xptcl(k, i) = r[k - 1];
        b.lact(i) = true;
        b.ldef(i) = true;
    }
    b.lfbidx = false;
    std::int32_t ierr = 0;
    lattice::inila2(foundation::particles(b.xptcl, n), foundation::indices(b.iptcl, n), b.ctptcl, b.p0, b.lfbidx,
                    ierr);
}

double evaluate(int n) {
    auto& b = bunch::prtcls;
    const auto t0 = clk::now();
    std::int32_t ierr = 0;
    forces::forcei(testsupport::model_work(), bunch::ForceType::csr_p_to_p, foundation::particles(b.xptcl, n), foundation::indices(b.iptcl, n),
                   0.0, foundation::forces_of(F, n), ierr);
    const double t = since(t0);
    if (evals < maxeval) {
        record();
        stats[evals][0][3] = t;
    }
    ++evals;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (!run::process_start()) return 1;
    run::handshake();
    const int P = parallel::cmpcom.nprocs;
    std::vector<int> sizes;
    int nfb = 3;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a.rfind("nfb=", 0) == 0) nfb = std::max(3, std::min(cap::maxlat, std::atoi(a.c_str() + 4)));
        else sizes.push_back(std::atoi(argv[k]));
    }
    if (sizes.empty()) sizes = {200, 1000, 2000};
    // evaluations of each size: warm-up (small sizes), back-to-back, after a gap
    struct Plan {
        int n, warm, reps, gaps;
        int first = 0;
    };
    std::vector<Plan> plans;
    for (int n : sizes) plans.push_back({n, n <= 500 ? 1 : 0, n <= 500 ? 10 : (n <= 1000 ? 2 : 1), n <= 500 ? 5 : 1});

    if (parallel::cmpcom.master) {
        testsupport::new_lattice();
        for (int k = 1; k <= nfb - 2; ++k) testsupport::add_section(0.0, 1.0 / (nfb - 2));
        testsupport::add_section(2.0, 2.5);
        testsupport::add_section(0.0, 1.0);
        auto& f = bunch::force_settings;
        f.itype = bunch::code(bunch::ForceType::csr_p_to_p);
        f.ishape = 2;
        f.sigma_long = 5e-4;
        f.rintmi = 1e-9;
        f.shield = 0.0;
        f.shield_max = 0.3;
        for (Plan& pl : plans) {
            make_bunch(pl.n);
            parallel::sencmd(std::string("tracker"));
            run::tracom(testsupport::model_work());
            for (int k = 0; k < pl.warm; ++k) evaluate(pl.n);
            pl.first = evals;
            for (int k = 0; k < pl.reps; ++k) evaluate(pl.n);
            for (int k = 0; k < pl.gaps; ++k) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                evaluate(pl.n);
            }
        }
        parallel::sencmd(std::string("stopp"));
    } else {
        run::slave(testsupport::model_work(), &timed_frcims);
    }
    parallel::accumu(std::span<double>(&stats[0][0][0], std::size_t(maxeval) * cap::maxproc * nstat));
    if (parallel::cmpcom.master) {
        for (const Plan& pl : plans) {
            double eval = 0.0, gap = 0.0, fields = 0.0, share = 0.0, mloop = 0.0, sloop = 0.0;
            for (int e = pl.first; e < pl.first + pl.reps + pl.gaps && e < maxeval; ++e) {
                const bool back_to_back = e < pl.first + pl.reps;
                (back_to_back ? eval : gap) += stats[e][0][3] / (back_to_back ? pl.reps : pl.gaps);
                if (!back_to_back) continue;
                double smax = 0.0;
                for (int p = 0; p < P; ++p) {
                    const double* s = stats[e][p];
                    fields += s[2] / pl.reps;
                    if (s[0] > 0.0) share = std::max(share, s[1] / s[0]);
                    if (p > 0) smax = std::max(smax, s[0]);
                }
                mloop += stats[e][0][0] / pl.reps;
                sloop += smax / pl.reps;
            }
            std::printf("N= %5d P= %2d nfb= %3d eval_s= %.4e fields_per_s_per_proc= %.4e path_share= %.4f master_loop_s= %.4e "
                        "slave_loop_s= %.4e gap_eval_s= %.4e\n",
                        pl.n, P, nfb, eval, fields / (P * eval), share, mloop, sloop, gap);
        }
        std::fflush(stdout);
    }
    parallel::mpi_stop();
    return 0;
}
