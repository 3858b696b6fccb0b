// The particle-to-particle model "csr_p_to_p".
#include "forces/force2.hpp"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "fieldlib/field.hpp"
#include "forces/fcdiag.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "lattice/pthgen.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"

namespace forces {

namespace {

// Processor seconds of this process.
double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// The test output of the master: the sizes, then "fc2.dat" with the
// positions relative to particle 1 and the forces. Status 0 on success.
std::int32_t test_output(const bunch::Forces& f, foundation::ConstParticleView XP, foundation::ConstForceView F,
                         double beta1) {
    foundation::logpri(foundation::ld_line({"ctsig =", foundation::ld_real(f.sigma_long / beta1)}));
    if (f.ishape == 3) {
        foundation::logpri(foundation::ld_line({"sigmar=", foundation::ld_real(f.sigma_rad)}));
        foundation::logpri(foundation::ld_line({"sigmaz=", foundation::ld_real(f.sigma_vert)}));
    }
    foundation::logpri(" ");
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout("fc2.dat", unit, ierr);
    if (ierr != 0) return ierr;
    std::int32_t status = 0;
    std::string rec;
    for (std::int32_t j = 1; j <= XP.size() && status == 0; ++j) {
        rec.clear();
        for (double v : {XP.x(j) - XP.x(1), XP.y(j) - XP.y(1), F.along(j), F.left(j)}) {
            rec.push_back(' ');
            rec += foundation::fmt_e(v, 13, 6);
        }
        status = foundation::unit_write(unit, rec);
    }
    std::int32_t ic = 0;
    foundation::ficout(unit, ic);
    return status != 0 ? status : ic;
}

}  // namespace

void log_call_cost(std::string_view model, const CallCost& c) {
    // three significant digits: an estimate
    const auto g3 = [](double v) {
        char t[32];
        std::snprintf(t, sizeof t, "%.3g", v);
        return std::string(t);
    };
    const std::int64_t calls = c.sources * c.observers, most = c.sources * c.share;
    foundation::logpri(std::string(model) + ": field calls per evaluation = " + std::to_string(calls));
    if (c.timed <= 0) {
        foundation::logpri("  per process at most = " + std::to_string(most));
        return;
    }
    const double each = c.calls_seconds / double(c.timed);  // s
    foundation::logpri("  per process at most = " + std::to_string(most) + ", " + g3(each) + " s each (measured)");
    const double path = c.path_seconds / double(c.timed_sources);  // s
    const double seconds = double(c.sources) * (path + double(c.share) * each);
    foundation::logpri("  estimated time per evaluation = " + g3(seconds) + " s");
}

void field_settings(const bunch::Forces& f, double beta1) {
    using fieldlib::finit;
    finit("q0", 1.0);
    finit("xnsigt", 5.0);
    finit("relacc", 0.0001);
    finit("zsymmetry", 1.0);
    finit("1dmirror", 1.0);
    finit("hc", f.shield);
    finit("hmax", f.shield_max);
    finit("rintmi", f.rintmi);
    finit("notalman", 0.0);
    finit("nogamma2", 0.0);
    finit("1dpoleex", 0.0);
    finit("method", double(f.ishape));
    finit("sigmat", f.sigma_long / (foundation::clight * beta1));  // s
    if (f.ishape == 3) finit("sigmar", f.sigma_rad);
    finit("sigmaz", f.sigma_vert);  // the sphere: the longitudinal size
}

void force2(bunch::ForceType, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& mw,
            std::int32_t& ierr) {
    ierr = 0;
    const double t_start = cpu_seconds();
    Force2Work work{};
    const foundation::ConstParticleView XP = in.XP;
    const foundation::ConstIndexView IP = in.IP;
    const bunch::Forces& settings = in.settings;
    ftypes::Logical master;
    std::int32_t myproc = 1, nprocs = 1;
    parallel::cmpifo(master, myproc, nprocs);
    const std::int32_t npart = XP.size();
    const std::int32_t nfb = in.lattice.nfb;

    const double p1 = npart >= 1 ? XP.p(1) : 0.0;  // m*c
    const double beta1 = p1 / std::sqrt(p1 * p1 + 1.0);
    field_settings(settings, beta1);

    for (double& w : F.words()) w = 0.0;

    // the first target of this process's share: mod(j, nprocs) + 1 = myproc
    const std::int32_t jfirst = myproc == 1 ? nprocs : myproc - 1;
    // the cost of an evaluation, announced at the first one (master)
    bool announce = master && settings.nfcall(bunch::code(bunch::ForceType::csr_p_to_p)) == 1;
    CallCost cost;
    if (announce) {
        std::int64_t share[cap::maxproc] = {};
        for (std::int32_t k = 1; k <= npart; ++k) {
            if (flag(in.lact, k)) ++cost.sources;
            if (flag(in.ldef, k)) ++cost.observers, ++share[k % nprocs];
        }
        cost.share = *std::max_element(share, share + nprocs);
    }
    double RT[3], ET[3];
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(in.lact, i)) {
            const double q = XP.q(i);  // C
            const double t0 = cpu_seconds();
            const auto w0 = std::chrono::steady_clock::now();
            fieldlib::setpth(XP.record(i), IP.next(i), nfb, ct, in.p0);
            const auto w1 = std::chrono::steady_clock::now();
            work.path_seconds += cpu_seconds() - t0;
            ++work.paths;
            const std::int64_t fields0 = work.fields;
            for (std::int32_t j = jfirst; j <= npart; j += nprocs) {
                if (!flag(in.ldef, j)) continue;
                const double gamma = std::sqrt(XP.p(j) * XP.p(j) + 1.0);
                double t = 0.0;  // s, on the clock of the path
                lattice::pthtr1(XP.x(j), XP.y(j), 0.0, XP.phi(j), 0.0, ct, RT, ET, t);
                // the search for the path point nearest to the target starts
                // at the target's own position along the path, not at the
                // answer for the target this process computed before: the
                // force then does not depend on the share of targets
                fieldlib::FieldResult res = fieldlib::field(t, RT, gamma, ET, RT[0]);
                lattice::pthtr2(res.E_horizontal());
                F.along(j) += res.E(1) * q;
                F.left(j) += res.E(2) * q;
                ++work.fields;
            }
            if (announce) {
                const std::chrono::duration<double> path = w1 - w0, calls = std::chrono::steady_clock::now() - w1;
                if (cost.add(path.count(), calls.count(), work.fields - fields0)) {
                    announce = false;
                    log_call_cost("csr_p_to_p", cost);
                }
            }
        }
        if (master && (i == 1 || i == npart || (npart >= 900 && i % 100 == 0)))
            foundation::stdout_line(
                foundation::ld_line({" isrc       =", foundation::ld_int(i), " npart =", foundation::ld_int(npart)}));
    }

    // lab components into the particle's own frame, in m*c per m of c*t;
    // adding +0.0 makes a zero force +0 on every process count (the sum
    // over the processes would turn a lone -0 into +0)
    for (std::int32_t j = 1; j <= npart; ++j) {
        if (!flag(in.ldef, j)) continue;
        const double c = std::cos(XP.phi(j)), s = std::sin(XP.phi(j));
        const double f1 = F.along(j), f2 = F.left(j);
        F.along(j) = (f1 * c + f2 * s) * foundation::force_scale + 0.0;
        F.left(j) = (-f1 * s + f2 * c) * foundation::force_scale + 0.0;
    }
    work.loop_seconds = cpu_seconds() - t_start;
    mw.p2p = work;

    parallel::accumu(F.words().data(), 3, npart);

    // the forces are complete: a diagnostic file that cannot be written
    // costs the file alone
    if (master && settings.ltest && test_output(settings, XP, F, beta1) != 0) diawrn(mw, "fc2.dat");
}

}  // namespace forces
