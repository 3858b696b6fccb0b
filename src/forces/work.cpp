// The models' work: its making and the drop of its stored Green's function.
#include "forces/work.hpp"

#include "foundation/platform.hpp"

namespace forces {

WorkPtr make_model_work() {
    // calloc: the pages stay untouched (and shared zero pages) until used;
    // the aggregate of plain records is the zero bytes, with no constructor
    void* p = std::calloc(1, sizeof(ModelWork));
    if (p == nullptr) foundation::fatal_stop("error: no memory for the work of the force models");
    return WorkPtr(static_cast<ModelWork*>(p));
}

void gmeshi(ModelWork& work) {
    work.mesh.mesh.ctgreen = 0.0;
    work.mesh.mesh.lgreen = false;
}

}  // namespace forces
