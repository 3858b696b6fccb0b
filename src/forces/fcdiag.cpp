#include "forces/fcdiag.hpp"

#include "foundation/files.hpp"
#include "foundation/log.hpp"

namespace forces {

namespace {

std::int32_t nfail = 0;  // diagnostic files not written in this tracking run

}  // namespace

void diawrn(const std::string& name) {
    ++nfail;
    foundation::log_line("warning: diagnostic file " + foundation::output_name(name) + " not written");
}

std::int32_t diafai() { return nfail; }

void diaini() { nfail = 0; }

}  // namespace forces
