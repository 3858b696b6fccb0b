// The field of every source particle at this process's share of the
// observers: the one loop of the models that make a field call per source
// and observer ("csr_p_to_p" at the particles, "csr_p_to_m" at the box
// corners), with the field library's settings of an evaluation and the
// cost those models announce at their first evaluation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "bunch/forces.hpp"
#include "fieldlib/field.hpp"
#include "fieldlib/fldint.hpp"
#include "forces/model.hpp"
#include "lattice/pthgen.hpp"

namespace forces {

// Every setting of the field library cx for one evaluation of csr_p_to_p
// and of the mesh models, in this order: a sub-bunch of unit charge (its
// field is weighted by the source's charge afterwards) of the sizes sz
// (the evaluation's, or those a stored Green's function was made with), its
// profile cut at profile_cut rms durations, the plates, rintmi and the
// shape of the settings f; beta1, the speed of particle 1 [c] (of the
// function's making), gives its duration.
inline constexpr double profile_cut = 5.0;
void field_settings(fieldlib::Context& cx, const bunch::ForceSettings& f, const SubBunchSizes& sz, double beta1);

// Processor seconds of this process.
double cpu_seconds();

// An observer of the sources' fields: its position (x, y) [m] and the
// azimuth phi [rad] of its motion in the lab's horizontal plane, and its
// Lorentz factor gamma.
struct Observer {
    double x, y, phi, gamma;
};

// What one source took: the wall seconds of its design path and of its
// field calls, the processor seconds of its design path, and the number of
// field calls made.
struct SourceCost {
    double path, calls, path_cpu;
    std::int64_t ncalls;
};

// For every source i = 1..npart in order: when it is active, its design
// path through its own field boundaries (setpth of the field library cx,
// from its record and next boundary), then for each observer j of this process's share of 1..nobs
// (sh) that at(j, o) describes (false: no field for j), the observer put
// into the path frame, in the bending plane and moving horizontally
// (pthtr1), the field of the source's sub-bunch of unit charge there
// (field, its nearest-point search starting at the observer's own path
// position, so that the field does not depend on the observers evaluated
// before it nor on the process count), its horizontal electric field turned
// back into the lab (pthtr2), and add(j, q_i, field), q_i the source's
// charge [C]. after(i, cost) follows every source, with cost nullptr for an
// inactive one.
template <class At, class Add, class After>
void source_fields(fieldlib::Context& cx, const ModelInput& in, double ct, const Share& sh, std::int32_t nobs,
                   At&& at, Add&& add, After&& after) {
    const foundation::ConstParticleView XP = in.XP;
    for (std::int32_t i = 1; i <= XP.size(); ++i) {
        if (!flag(in.lact, i)) {
            after(i, static_cast<const SourceCost*>(nullptr));
            continue;
        }
        const double q = XP.q(i);  // C
        const double t0 = cpu_seconds();
        const auto w0 = std::chrono::steady_clock::now();
        fieldlib::setpth(cx, in.lattice, XP.record(i), in.IP.next(i), ct, in.p0);
        const auto w1 = std::chrono::steady_clock::now();
        SourceCost cost{0.0, 0.0, cpu_seconds() - t0, 0};
        for (std::int32_t j = sh.first(); j <= nobs; j += sh.ncpu) {
            Observer o;
            if (!at(j, o)) continue;
            double rt[3], et[3];
            double t = 0.0;  // s, on the clock of the path
            lattice::pthtr1(cx.path, o.x, o.y, 0.0, o.phi, 0.0, ct, rt, et, t);
            fieldlib::FieldResult res = fieldlib::field(cx, t, rt, o.gamma, et, rt[0]);
            lattice::pthtr2(cx.path, res.E_horizontal());
            add(j, q, res);
            ++cost.ncalls;
        }
        const std::chrono::duration<double> path = w1 - w0, calls = std::chrono::steady_clock::now() - w1;
        cost.path = path.count();
        cost.calls = calls.count();
        after(i, &cost);
    }
}

// The cost of a model whose evaluation makes a field call per source and
// observer, logged at its first evaluation once its first sources are
// timed: the field calls per evaluation (sources times observers), the most
// of them on one process (the largest share of the observers times the
// sources), the seconds of one call measured on this process over the
// timed sources, and from them the time of one evaluation: sources times
// (a design path plus the largest share's calls). Without a timed call only
// the counts.
struct CallCost {
    std::int64_t sources = 0;    // active sources
    std::int64_t observers = 0;  // observers of every source
    std::int64_t share = 0;      // observers of the process with the most
    std::int64_t timed_sources = 0;  // sources timed so far
    double path_seconds = 0.0;   // their design paths [s]
    double calls_seconds = 0.0;  // their field calls on this process [s]
    std::int64_t timed = 0;      // the number of those calls
    // Adds a timed source; true once enough are timed to log: a second of
    // work or 1% of the sources, at least one.
    bool add(double path, double calls, std::int64_t ncalls) {
        timed_sources += 1;
        path_seconds += path;
        calls_seconds += calls;
        timed += ncalls;
        return path_seconds + calls_seconds >= 1.0 || 100 * timed_sources >= sources;
    }
};
void log_call_cost(std::string_view model, const CallCost& c);

}  // namespace forces
