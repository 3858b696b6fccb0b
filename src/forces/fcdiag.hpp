// Diagnostic files of the force models (the "test" switch of the forces
// layer). A file that cannot be written costs that file alone: the model
// logs one warning naming it and returns its forces, which are complete by
// then; the tracking run goes on and ends saying that its diagnostic output
// is incomplete. Master only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bunch/forces.hpp"

namespace forces {

struct ModelWork;

// Logs "warning: diagnostic file NAME not written" (NAME with the output
// path prefix) and counts the failure in work.
void diawrn(ModelWork& work, const std::string& name);

// Diagnostic files of the models of work not written since the last diaini.
[[nodiscard]] std::int32_t diafai(const ModelWork& work);

// Clears the count of work: at the start of every tracking run.
void diaini(ModelWork& work);

// The diagnostic files that a tracking run of model type writes with
// "test" = "yes", its preconditioning stage's too when precondition, the
// resampled wake when wake (a wake_file): "projected" (also the stage of
// the Green's models) "fc1_curr.dat", "fc1_csr_w_sub.dat",
// "fc1_w_sub.dat", "fc1_csr_w_curr.dat", "fc1.dat"; "csr_p_to_p"
// "fc2.dat"; the others none.
[[nodiscard]] std::vector<std::string_view> diagnostic_files(bunch::ForceType type, bool precondition, bool wake);

}  // namespace forces
