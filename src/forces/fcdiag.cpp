#include "forces/fcdiag.hpp"

#include "forces/work.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"

namespace forces {

void diawrn(ModelWork& work, const std::string& name) {
    ++work.diag_failures;
    foundation::log_line("warning: diagnostic file " + foundation::output_name(name) + " not written");
}

std::int32_t diafai() { return model_work().diag_failures; }

void diaini() { model_work().diag_failures = 0; }

}  // namespace forces
