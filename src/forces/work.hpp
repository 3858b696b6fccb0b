// The work storage of the force models: the arrays an evaluation fills and
// reads within itself, and the counts it leaves for the run. One instance
// serves the process (model_work, in zero-filled static storage: its pages
// are touched only as far as an evaluation uses them, so a small run stays
// small); the forces layer's entry passes it to the models. A test may
// make its own (static: it is large).
#pragma once

#include <cstdint>

#include "fieldlib/fldint.hpp"
#include "forces/force1.hpp"
#include "forces/force2.hpp"
#include "forces/force3.hpp"
#include "forces/steps.hpp"
#include "foundation/ftypes.hpp"

namespace forces {

struct ModelWork : ftypes::NoCopy {
    fieldlib::Context field;     // the field library of the three-dimensional models
    Force1Work projected;        // "projected"
    Force2Work p2p;              // counts of the last "csr_p_to_p" evaluation on this process
    MeshWork mesh;               // the mesh models
    StepTimes steps;             // seconds per step of the evaluations, for the benchmarks
    std::int32_t diag_failures;  // diagnostic files not written since diaini
};

// The process's own work storage.
ModelWork& model_work();

}  // namespace forces
