// The share of this process, the field library's settings of an
// evaluation and the announced cost of the models with a field call per
// source and observer.
#include "forces/sources.hpp"

#include <time.h>

#include <cstdio>
#include <string>

#include "foundation/constants.hpp"
#include "foundation/log.hpp"
#include "parallel/process.hpp"

namespace forces {

Share Share::of_this_process() {
    Share sh{};
    ftypes::Logical master = false;
    parallel::cmpifo(master, sh.icpu, sh.ncpu);
    sh.master = bool(master);
    return sh;
}

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

void field_settings(fieldlib::Context& cx, const bunch::ForceSettings& f, const SubBunchSizes& sz, double beta1) {
    const auto finit = [&cx](std::string_view name, double value) { fieldlib::finit(cx, name, value); };
    finit("q0", 1.0);
    finit("xnsigt", profile_cut);
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
    finit("sigmat", sz.sigma_long / (foundation::clight * beta1));  // s
    if (f.ishape == 3) finit("sigmar", sz.sigma_rad);
    finit("sigmaz", sz.sigma_vert);  // the sphere: the longitudinal size
}

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

}  // namespace forces
