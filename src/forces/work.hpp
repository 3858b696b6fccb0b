// The work of the force models: the field library they evaluate with, the
// arrays an evaluation fills and reads within itself, the Green's function
// the mesh models keep from one evaluation to the next, and the counts an
// evaluation leaves for the run. The process owns one, made by the run
// layer (make_model_work) and given to the forces layer's entries (forcei,
// frcims, green_check), which pass it to the models; a test makes its own.
// It is made zero-filled and not constructed member by member: its pages
// (some 370 MB of capacity) are touched only as far as the evaluations use
// them, so a small run stays small.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

#include "fieldlib/fldint.hpp"
#include "forces/force1_work.hpp"
#include "forces/force2_work.hpp"
#include "forces/force3_work.hpp"
#include "forces/steps.hpp"
#include "foundation/ftypes.hpp"

namespace forces {

struct ModelWork : ftypes::NoCopy {
    fieldlib::Context field;     // the field library of the three-dimensional models
    Force1Work projected;        // "projected"
    Force2Work p2p;              // counts of the last "csr_p_to_p" evaluation on this process
    MeshWork mesh;               // the mesh models, with the stored Green's function
    StepTimes steps;             // seconds per step of the evaluations, for the benchmarks
    std::int32_t diag_failures;  // diagnostic files not written since diaini
};
static_assert(std::is_aggregate_v<ModelWork> && std::is_trivially_destructible_v<ModelWork>,
              "the models' work lives in zero-filled storage, no constructor run");

// A models' work in zero-filled storage, freed with its owner.
struct FreeWork {
    void operator()(ModelWork* w) const { std::free(w); }
};
using WorkPtr = std::unique_ptr<ModelWork, FreeWork>;
// A new models' work, every record at its start (zero); a failed
// allocation ends the job.
[[nodiscard]] WorkPtr make_model_work();

// Drops the stored Green's function of work: ctgreen := 0, lgreen := false.
void gmeshi(ModelWork& work);

}  // namespace forces
