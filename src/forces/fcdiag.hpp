// Diagnostic files of the force models (the "test" switch of the forces
// layer). A file that cannot be written costs that file alone: the model
// logs one warning naming it and returns its forces, which are complete by
// then; the tracking run goes on and ends saying that its diagnostic output
// is incomplete. Master only.
#pragma once

#include <cstdint>
#include <string>

namespace forces {

// Logs "warning: diagnostic file NAME not written" (NAME with the output
// path prefix) and counts the failure.
void diawrn(const std::string& name);

// Diagnostic files not written since the last diaini.
[[nodiscard]] std::int32_t diafai();

// Clears the count: at the start of every tracking run.
void diaini();

}  // namespace forces
