// The work of the particle-to-particle model ("csr_p_to_p", force2): the
// counts of its last evaluation, part of the models' work (work.hpp).
#pragma once

#include <cstdint>

namespace forces {

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
