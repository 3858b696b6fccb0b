// The particle-to-particle model "csr_p_to_p": every active particle is a
// source; the field of a Gaussian sub-bunch of the current effective sizes
// moving along the source's own design path is evaluated at every particle
// that receives forces, weighted by the source's charge and summed.
//
// Runs on every process inside frcims: each process evaluates the fields at
// its own share of the targets (target j on process mod(j, nprocs) + 1, the
// same share for every source), so every target is computed wholly on one
// process and the sum onto the master is exact for any process count.
#pragma once

#include <cstdint>
#include <string_view>

#include "bunch/forces.hpp"
#include "forces/model.hpp"
#include "foundation/views.hpp"

namespace forces {

// Forces F of the particle records in.XP with their pairs in.IP at the
// time ct (c*t, m), all of the bunch's npart records: F(1) along the
// horizontal direction of motion, F(2) to its left, F(3) = 0 [m*c per m of
// c*t]. The sum is valid on the master; on a slave F holds undefined values
// afterwards. Collective: every process calls it with the same count.
// Status 0: "fc2.dat" of the test switch that cannot be written is named
// in a warning (fcdiag.hpp) and the forces stand. The type argument is that
// of the model table; work.p2p receives the counts of the evaluation.
void force2(bunch::ForceType type, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& work,
            std::int32_t& ierr);

// The settings of the field library for one evaluation of csr_p_to_p and
// of the mesh models, in this order: a sub-bunch of unit charge (its field
// is weighted by the source's charge afterwards) of the effective sizes of
// f; beta1, the speed of particle 1 [c], gives its duration.
void field_settings(const bunch::Forces& f, double beta1);

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

// Work of the last force2 call on this process, for the benchmarks: design
// paths built, field calls made, and the processor seconds of this process
// spent building paths and in the whole source loop (its own share, before
// the sum; processor time, so that other jobs on the machine do not count).
struct Force2Work {
    std::int64_t paths;
    std::int64_t fields;
    double path_seconds;
    double loop_seconds;
};

}  // namespace forces
