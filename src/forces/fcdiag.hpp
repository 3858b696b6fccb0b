// Diagnostic files of the force models (the "test" switch of the forces
// layer). A file that cannot be written costs that file alone: the model
// logs one warning naming it and returns its forces, which are complete by
// then; the tracking run goes on and ends saying that its diagnostic output
// is incomplete. Master only.
#pragma once

#include <cstdint>
#include <string>

namespace forces {

struct ModelWork;

// Logs "warning: diagnostic file NAME not written" (NAME with the output
// path prefix) and counts the failure in work.
void diawrn(ModelWork& work, const std::string& name);

// Diagnostic files of the process's models not written since the last diaini.
[[nodiscard]] std::int32_t diafai();

// Clears the count: at the start of every tracking run.
void diaini();

}  // namespace forces
