// Timing of the mesh models against the particle-to-particle model, one
// force evaluation of a Gaussian bunch (rms 1 mm along the motion, 0.2 mm
// across, 100 MeV, 1 nC) 2.5 m deep in a bend of radius 5 m, with
// ellipsoid sub-bunches of 0.3 mm by 0.1 mm and boxes of 0.5 of them,
// through the real slave loop.
//
//   observers  "csr_p_to_m" at N = 2000 and 10000: observers and boxes
//              against particles, seconds per evaluation, ratio to
//              "csr_p_to_p";
//   green      "csr_g_to_p" and "csr_g_to_m" at N = 2000, 10000 and 100000:
//              samples of the Green's function and how many were
//              evaluated, seconds of the evaluation that makes the function
//              and of one that reuses it, ratio to "csr_p_to_p", the
//              largest difference to "csr_p_to_p" in % of its peak force,
//              and the peak resident memory of the master;
//   green_m    the same for "csr_g_to_m" alone;
//   work       the calibration of the work estimate of a Green's function:
//              "csr_g_to_p" and "csr_g_to_m" on a list of (N, sigma_long)
//              (arguments "p:2000:3e-5" or "m:21:2e-8", model letter,
//              particles, sigma_long [m]; a built-in list without them),
//              each function made anew three times: its work estimate
//              (samples to evaluate at most, look-ups, field calls) against
//              the fastest of the three, and the microseconds a field call
//              of work takes on each process (seconds * P / work);
//   sparse     "csr_g_to_m" at N = 21 with sub-bunches of 2e-8 m along the
//              motion (TARVEL_BENCH_SPARSE_SIGMA to change it) and 2e-5 m
//              across: a Green's function of some 1e9 samples in chunks, of
//              which a small share is needed: samples, seconds of the
//              evaluation that makes it. The same at any process count: no
//              slower on more processes than on one.
// "csr_p_to_p" is timed up to N = 2000 (or the value of TARVEL_BENCH_NREF)
// and extrapolated beyond it with N^2. Counts can be given after the mode.
// After every evaluation the seconds of its steps (the work context's step
// times, switched on here on every process): the master's and the slowest
// slave's, every process's with TARVEL_BENCH_ALL_STEPS set; each line ends
// with a hash of the forces, the same at any process count.
//
// Run by hand after a Release build with -DTARVEL_BENCH=ON:
//   build-bench/tarvel_mpiexec -n 1 build-bench/bench/bench_mesh observers
//   build-bench/tarvel_mpiexec -n 4 build-bench/bench/bench_mesh observers
//   build-bench/tarvel_mpiexec -n 8 build-bench/bench/bench_mesh green 2000 10000 100000
//   build-bench/tarvel_mpiexec -n 2 build-bench/bench/bench_mesh sparse
//   build-bench/tarvel_mpiexec -n 4 build-bench/bench/bench_mesh work
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "forces/force.hpp"
#include "forces/gmesh.hpp"
#include "forces/gmeshl.hpp"
#include "forces/work.hpp"
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

using bunch::ForceType;
using clk = std::chrono::steady_clock;

ftypes::Arr2<double, 3, cap::maxprt> F;
constexpr double p0 = 195.7, R = 5.0;

// The run state to the slaves (as at a "tracker" command): the bunch, the
// settings and the stamp of the stored Green's function.
void send_state() {
    parallel::sencmd(std::string("tracker"));
    run::tracom(testsupport::model_work());
}

// n particles of a Gaussian 2.5 m into the bend, and the run state sent to
// the slaves.
void bunch_of(int n) {
    auto& b = bunch::prtcls;
    std::mt19937 gen(5);
    std::normal_distribution<double> g(0.0, 1.0);
    const double a = 2.5 / R, q = -1e-9 / n;
    for (int i = 1; i <= n; ++i) {
        const double d = i == 1 ? 0.0 : 1e-3 * g(gen), h = i == 1 ? 0.0 : 2e-4 * g(gen);
        const double phi = -a, c = std::cos(phi), s = std::sin(phi);
        const double x = 1.0 + R * std::sin(a), y = -R + R * std::cos(a);
        const double r[7] = {x + d * c - h * s, y + d * s + h * c, 0.0, p0, phi, 0.0, q};
        for (int k = 1; k <= 7; ++k) b.xptcl(k, i) = r[k - 1];
        b.ldef(i) = b.lact(i) = true;
    }
    b.npart = n;
    b.p0 = p0;
    b.ctptcl = 0.0;
    b.lfbidx = false;
    std::int32_t ierr = 0;
    lattice::inila2(foundation::particles(b.xptcl, n), foundation::indices(b.iptcl, n), 0.0, p0, b.lfbidx, ierr);
    send_state();
}

// One evaluation; its seconds and the forces.
double evaluate(ForceType t, std::vector<double>* f = nullptr) {
    const int n = bunch::prtcls.npart;
    std::int32_t ierr = 0;
    const auto t0 = clk::now();
    forces::forcei(testsupport::model_work(), t, foundation::particles(bunch::prtcls.xptcl, n), foundation::indices(bunch::prtcls.iptcl, n),
                   0.0, foundation::forces_of(F, n), ierr);
    const double sec = std::chrono::duration<double>(clk::now() - t0).count();
    if (f) {
        f->assign(F.data(), F.data() + 3 * std::size_t(n));
    }
    return sec;
}

// Largest difference of the first two components, in % of the reference's peak.
double diff_percent(const std::vector<double>& a, const std::vector<double>& ref) {
    double peak = 0.0, worst = 0.0;
    for (std::size_t j = 0; j < ref.size(); ++j) {
        if (j % 3 == 2) continue;
        peak = std::max(peak, std::fabs(ref[j]));
        worst = std::max(worst, std::fabs(a[j] - ref[j]));
    }
    return 100.0 * worst / peak;
}

// The seconds per step of the last evaluation: the master's and the
// largest of a slave's, one line each step that took any time.
void print_steps(const std::string& label) {
    static constexpr const char* names[forces::nsteps] = {
        "hand-out",  "boxes",   "centroid", "layout", "marking", "evaluation",
        "exchange",  "lookups", "(direct)", "fields", "(paths)", "sum",     "particles"};
    const auto& t = testsupport::model_work().steps;
    const int np = parallel::cmpcom.nprocs;
    std::printf("  steps of %s (s): step master slave-max\n", label.c_str());
    for (int k = 0; k < forces::nsteps; ++k) {
        double slave = 0.0;
        for (int p = 1; p < np; ++p) slave = std::max(slave, t.all[std::size_t(p * forces::nsteps + k)]);
        if (t.all[std::size_t(k)] + slave < 5e-5) continue;
        std::printf("  step %-10s %9.4f %9.4f\n", names[k], t.all[std::size_t(k)], slave);
        if (std::getenv("TARVEL_BENCH_ALL_STEPS") && np > 1) {
            std::printf("    every process:");
            for (int p = 0; p < np; ++p) std::printf(" %.4f", t.all[std::size_t(p * forces::nsteps + k)]);
            std::printf("\n");
        }
    }
}

// A hash of the bytes of the forces (FNV-1a): the same at any process count
// and before and after a change that keeps the forces byte-identical.
unsigned long long force_hash(const std::vector<double>& f) {
    unsigned long long h = 1469598103934665603ull;
    const auto* b = reinterpret_cast<const unsigned char*>(f.data());
    for (std::size_t k = 0; k < f.size() * sizeof(double); ++k) h = (h ^ b[k]) * 1099511628211ull;
    return h;
}

long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (!run::process_start()) return 1;
    run::handshake();
    testsupport::model_work().steps.on = true;  // every process: the per-step seconds
    if (!parallel::cmpcom.master) {
        run::slave(testsupport::model_work());
        parallel::mpi_stop();
        return 0;
    }
    const std::string mode = argc > 1 ? argv[1] : "observers";
    std::vector<int> counts;
    for (int k = 2; k < argc; ++k) counts.push_back(std::atoi(argv[k]));
    const bool green = mode == "green" || mode == "green_m";
    const bool sparse = mode == "sparse";
    if (counts.empty())
        counts = sparse ? std::vector<int>{21}
                        : green ? std::vector<int>{2000, 10000, 100000} : std::vector<int>{2000, 10000};
    const int nref = std::getenv("TARVEL_BENCH_NREF") ? std::atoi(std::getenv("TARVEL_BENCH_NREF")) : 2000;
    const int np = parallel::cmpcom.nprocs;

    testsupport::new_lattice();
    testsupport::add_section(0.0, 1.0);
    testsupport::add_section(R, 4.0);
    testsupport::add_section(0.0, 1.0);
    auto& f = bunch::force_settings;
    f.ishape = 3;
    f.sigma_long = 3e-4;
    f.sigma_rad = f.sigma_vert = 1e-4;
    f.lrell = f.lradl = f.lrelv = f.lfill = f.lfilr = f.lfilv = false;
    f.rintmi = 1e-9;
    f.shield = 0.0;
    f.shield_max = 0.3;
    f.sbox = f.rbox = 0.5;
    f.loldms = true;
    f.green_work_max = 1e300;  // field calls: every function is timed

    if (mode == "work") {
        std::vector<std::string> rows;
        for (int k = 2; k < argc; ++k) rows.push_back(argv[k]);
        if (rows.empty())
            rows = {"m:2000:3e-4", "p:2000:3e-4", "m:10000:3e-5", "m:2000:3e-6", "p:300:3e-6",
                    "m:2000:1e-6", "p:300:1e-6",  "m:21:2e-8",   "m:21:3e-9"};
        for (const std::string& row : rows) {
            const ForceType t = row[0] == 'p' ? ForceType::csr_g_to_p : ForceType::csr_g_to_m;
            const auto c2 = row.find(':', 2);
            const int n = std::atoi(row.substr(2, c2 - 2).c_str());
            f.sigma_long = std::atof(row.substr(c2 + 1).c_str());
            f.sigma_rad = f.sigma_vert = std::min(1e-4, std::max(2e-5, 10.0 * f.sigma_long));
            f.itype = bunch::code(t);
            bunch_of(n);
            double best = 1e300;
            for (int r = 0; r < 3; ++r) {
                forces::gmeshi(testsupport::model_work());  // a new Green's function on every process
                send_state();
                best = std::min(best, evaluate(t));
            }
            std::int32_t nsrc = 0;
            for (int i = 1; i <= n; ++i) nsrc += bunch::prtcls.lact(i) ? 1 : 0;
            const double pairs = double(nsrc) * testsupport::model_work().mesh.mesh.nobs;
            const forces::GreenWork w = forces::gmwork(testsupport::model_work().mesh.green, pairs, forces::gmestm(testsupport::model_work().mesh.green, n, testsupport::model_work().mesh.mesh.nobs));
            std::printf("work %s N=%d sigma_long=%.3g P=%d: %.4g samples in %lld chunks, %.4g pairs; estimate %.4g "
                        "samples at most, %.4g look-ups, work %.4g field calls; %.4f s; %.2f us per field call of "
                        "work on each process\n",
                        bunch::force_model(t).word.data(), n, f.sigma_long, np, double(testsupport::model_work().mesh.green.greenm.ngreen),
                        static_cast<long long>(forces::gmnchk(testsupport::model_work().mesh.green)), pairs, w.samples, w.lookups, w.work, best,
                        1e6 * best * np / w.work);
            std::fflush(stdout);
        }
        parallel::sencmd(std::string("stopp"));
        parallel::mpi_stop();
        return 0;
    }

    if (sparse) {
        const char* e = std::getenv("TARVEL_BENCH_SPARSE_SIGMA");
        f.sigma_long = e ? std::atof(e) : 2e-8;
        f.sigma_rad = f.sigma_vert = 2e-5;
        f.itype = bunch::code(ForceType::csr_g_to_m);
        for (const int n : counts) {
            bunch_of(n);
            forces::gmeshi(testsupport::model_work());  // a new Green's function on every process
            send_state();
            std::vector<double> g;
            const double t = evaluate(ForceType::csr_g_to_m, &g);
            std::int64_t evaluated = 0;
            for (int l = 1; l <= testsupport::model_work().mesh.green.greenm.n2gre; ++l) evaluated += testsupport::model_work().mesh.green.greenm.req(l) ? 1 : 0;
            std::printf("sparse csr_g_to_m N=%d P=%d sigma_long=%.3g m: %lld samples, %lld evaluated in the last "
                        "chunk (master); %.3f s; peak memory %ld kB; forces %016llx\n",
                        n, np, f.sigma_long, static_cast<long long>(testsupport::model_work().mesh.green.greenm.ngreen),
                        static_cast<long long>(evaluated), t, peak_kb(), force_hash(g));
            print_steps("sparse csr_g_to_m");
            std::fflush(stdout);
        }
        parallel::sencmd(std::string("stopp"));
        parallel::mpi_stop();
        return 0;
    }

    // the reference: csr_p_to_p at nref particles
    bunch_of(nref);
    f.itype = bunch::code(ForceType::csr_p_to_p);
    std::vector<double> ref;
    const double tref = evaluate(ForceType::csr_p_to_p, &ref);
    std::printf("csr_p_to_p N=%d P=%d: %.3f s per evaluation\n", nref, np, tref);
    print_steps("csr_p_to_p");
    auto pp_time = [&](int n) { return tref * (double(n) / nref) * (double(n) / nref); };

    for (const int n : counts) {
        bunch_of(n);
        std::vector<double> pp;
        const bool measured = n == nref;
        if (measured) pp = ref;
        const double tpp = pp_time(n);
        if (mode == "observers") {
            f.itype = bunch::code(ForceType::csr_p_to_m);
            std::vector<double> pm;
            const double t = evaluate(ForceType::csr_p_to_m, &pm);
            const auto& m = testsupport::model_work().mesh.mesh;
            std::printf("csr_p_to_m N=%6d P=%d: %d observers (%d boxes), %.1f%% of the particles; %.3f s; "
                        "p_to_p %.3f s%s, ratio %.1f",
                        n, np, m.nobs, m.nbox, 100.0 * m.nobs / n, t, tpp, measured ? "" : " (extrapolated)", tpp / t);
            if (measured) std::printf("; difference %.2f%% of the peak", diff_percent(pm, pp));
            std::printf("; forces %016llx\n", force_hash(pm));
            print_steps("csr_p_to_m");
        } else {
            for (const ForceType t : {ForceType::csr_g_to_p, ForceType::csr_g_to_m}) {
                if (mode == "green_m" && t == ForceType::csr_g_to_p) continue;
                forces::gmeshi(testsupport::model_work());  // a new Green's function on every process
                f.itype = bunch::code(t);
                send_state();
                std::vector<double> g;
                const double tmake = evaluate(t, &g);
                print_steps(std::string(bunch::force_model(t).word) + ", the evaluation that makes the function");
                std::int64_t evaluated = 0;
                for (int l = 1; l <= testsupport::model_work().mesh.green.greenm.n2gre; ++l) evaluated += testsupport::model_work().mesh.green.greenm.req(l) ? 1 : 0;
                const double treuse = evaluate(t);
                print_steps(std::string(bunch::force_model(t).word) + ", the evaluation that reuses it");
                std::printf("%s N=%6d P=%d: %lld samples, %lld evaluated (master); %.3f s, reused %.3f s; "
                            "%d observers; p_to_p %.3f s%s, ratio %.1f",
                            bunch::force_model(t).word.data(), n, np, static_cast<long long>(testsupport::model_work().mesh.green.greenm.ngreen),
                            static_cast<long long>(evaluated), tmake, treuse, testsupport::model_work().mesh.mesh.nobs, tpp,
                            measured ? "" : " (extrapolated)", tpp / tmake);
                if (measured) std::printf("; difference %.2f%% of the peak", diff_percent(g, pp));
                std::printf("; peak memory %ld kB; forces %016llx\n", peak_kb(), force_hash(g));
            }
        }
        std::fflush(stdout);
    }
    parallel::sencmd(std::string("stopp"));
    parallel::mpi_stop();
    return 0;
}
