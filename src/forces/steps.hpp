// Wall-clock seconds of the steps of one evaluation of the models that run
// on every process, for the benchmarks: off (the default) a step costs a
// test of the switch, and nothing is exchanged; on (switched on every
// process alike), each process sums its own seconds per step and the
// evaluation joins them onto every process at its end (one more
// collective). Nothing the models write depends on them.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "foundation/capacities.hpp"

namespace forces {

enum class Step : std::int32_t {
    handout,     // the particles and the evaluation's settings to the slaves
    boxes,       // observer boxes, their list and polygon (csr_p_to_m, csr_g_to_m)
    centroid,    // the centroid, its design path and the region polygon
    layout,      // the mesh layout of the Green's function, chunk by chunk
    marking,     // marking the required samples, joining the marks
    evaluation,  // this process's share of the shared sample evaluation
    exchange,    // joining the values of the shared evaluation
    lookups,     // interpolation at the source-observer pairs (samples on first use included)
    direct,      // field calls at pairs outside the meshed region
    fields,      // the field calls of csr_p_to_p and csr_p_to_m, their design paths included
    paths,       // of those, the sources' design paths (every process makes every source's)
    sum,         // the sum of the fields over the processes
    particles,   // the observer fields interpolated to the particles / turned into their frames
    count
};
inline constexpr int nsteps = static_cast<int>(Step::count);

struct StepTimes {
    bool on;
    std::array<double, nsteps> own;                  // this process's seconds per step, summed while on
    std::array<double, nsteps * cap::maxproc> all;   // every process's, process by process (the last join)
};

// Adds the wall seconds from its construction to its end to step s while
// the times are on.
class StepClock {
public:
    StepClock(StepTimes& t, Step s) : t_(t.on ? &t : nullptr), s_(s) {
        if (t_) t0_ = std::chrono::steady_clock::now();
    }
    ~StepClock() {
        if (t_) t_->own[std::size_t(s_)] += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    }
    StepClock(const StepClock&) = delete;
    StepClock& operator=(const StepClock&) = delete;

private:
    StepTimes* t_;
    Step s_;
    std::chrono::steady_clock::time_point t0_{};
};

// While on: every process's times joined into t.all (a collective of every
// process, as the evaluation's own).
void join_steps(StepTimes& t);

}  // namespace forces
