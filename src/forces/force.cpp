// Force settings ("forces" layer) and the per-step force entry.
#include "forces/force.hpp"

namespace forces {

Forces forces;

void inifrc(std::int32_t& ierr) {
    forces.par1 = 0.0;
    forces.par2 = 0.0;
    forces.par3 = 0.0;
    forces.par4 = 0.0;
    forces.par5 = 0.0;
    forces.itype = 0;
    for (int k = 1; k <= 5; ++k) forces.nfcall(k) = 0;
    forces.ltrace = false;
    ierr = 0;
}

void lyforc(std::int32_t& ierr) { ierr = 1; }
void forcei(std::int32_t, const double*, const std::int32_t*, double, double*, std::int32_t& ierr) { ierr = 1; }
void frcsub(const double*, const std::int32_t*, double, std::int32_t, std::int32_t& ierr) { ierr = 1; }
bool force_model_available(std::int32_t itype) { return itype == 0; }

}  // namespace forces
