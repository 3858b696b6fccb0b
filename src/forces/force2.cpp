// The particle-to-particle model "csr_p_to_p".
#include "forces/force2.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "fieldlib/field.hpp"
#include "forces/fcdiag.hpp"
#include "forces/sources.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "parallel/cmplib.hpp"

namespace forces {

namespace {

// The test output of the master: the sizes of the evaluation, then
// "fc2.dat" with the positions relative to particle 1 and the forces.
// Status 0 on success.
std::int32_t test_output(const ModelInput& in, foundation::ConstForceView F, double beta1) {
    const foundation::ConstParticleView XP = in.XP;
    const SubBunchSizes& sz = in.sizes;
    foundation::logpri(foundation::ld_line({"ctsig =", foundation::ld_real(sz.sigma_long / beta1)}));
    if (in.settings.ishape == 3) {
        foundation::logpri(foundation::ld_line({"sigmar=", foundation::ld_real(sz.sigma_rad)}));
        foundation::logpri(foundation::ld_line({"sigmaz=", foundation::ld_real(sz.sigma_vert)}));
    }
    foundation::logpri(" ");
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout("fc2.dat", unit, ierr, foundation::output_kind::diagnostic);
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


// The cost of an evaluation, announced at the first one (master): every
// active source, every receiving particle an observer, the share of the
// process with the most.
CallCost p2p_cost(const ModelInput& in, const Share& sh) {
    CallCost cost;
    std::int64_t share[cap::maxproc] = {};
    for (std::int32_t k = 1; k <= in.XP.size(); ++k) {
        if (flag(in.lact, k)) ++cost.sources;
        if (flag(in.ldef, k)) ++cost.observers, ++share[sh.owner(k) - 1];
    }
    cost.share = *std::max_element(share, share + sh.ncpu);
    return cost;
}

}  // namespace

// F_j = force_scale * sum over the active sources i of q_i E(x_j; path_i),
// turned into particle j's frame: E the horizontal electric field [V/m per
// C] that the field library gives for a Gaussian sub-bunch of unit charge
// on the design path of source i at target j, moving with j (the retarded
// fields of the line charge); q_i [C]; force_scale [1/V] makes V/m into
// m*c per m of c*t. Every target is summed on the process of its share.
void force2(bunch::ForceType, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& mw,
            std::int32_t& ierr) {
    ierr = 0;
    const double t_start = cpu_seconds();
    Force2Work work{};
    const foundation::ConstParticleView XP = in.XP;
    const bunch::ForceSettings& settings = in.settings;
    const Share sh = Share::of_this_process();
    const std::int32_t npart = XP.size();

    const double p1 = npart >= 1 ? XP.p(1) : 0.0;  // m*c
    const double beta1 = foundation::beta_of(p1);
    field_settings(mw.field, settings, in.sizes, beta1);

    for (double& w : F.words()) w = 0.0;

    bool announce = sh.master && settings.nfcall(bunch::code(bunch::ForceType::csr_p_to_p)) == 1;
    CallCost cost;
    if (announce) cost = p2p_cost(in, sh);
    // the targets: every receiving particle, moving with its own momentum
    auto target = [&](std::int32_t j, Observer& o) {
        if (!flag(in.ldef, j)) return false;
        o = {XP.x(j), XP.y(j), XP.phi(j), foundation::gamma_of(XP.p(j))};
        return true;
    };
    auto add = [&](std::int32_t j, double q, const fieldlib::FieldResult& res) {
        F.along(j) += res.E(1) * q;
        F.left(j) += res.E(2) * q;
    };
    auto after = [&](std::int32_t i, const SourceCost* c) {
        if (c != nullptr) {
            work.path_seconds += c->path_cpu;
            if (mw.steps.on) mw.steps.own[std::size_t(Step::paths)] += c->path;
            ++work.paths;
            work.fields += c->ncalls;
            if (announce && cost.add(c->path, c->calls, c->ncalls)) {
                announce = false;
                log_call_cost("csr_p_to_p", cost);
            }
        }
        if (sh.master && (i == 1 || i == npart || (npart >= 900 && i % 100 == 0)))
            foundation::stdout_line(
                foundation::ld_line({" isrc       =", foundation::ld_int(i), " npart =", foundation::ld_int(npart)}));
    };
    std::optional<StepClock> clock(std::in_place, mw.steps, Step::fields);
    source_fields(mw.field, in, ct, sh, npart, target, add, after);
    clock.emplace(mw.steps, Step::particles);

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

    clock.emplace(mw.steps, Step::sum);
    parallel::accumu(F.words());
    clock.reset();
    join_steps(mw.steps);

    // the forces are complete: a diagnostic file that cannot be written
    // costs the file alone
    if (sh.master && settings.ltest && test_output(in, F, beta1) != 0) diawrn(mw, "fc2.dat");
}

}  // namespace forces
