#include "bunch/error.hpp"

namespace bunch {

void rmspar(std::int32_t, const double*, const ftypes::Logical*, double& su, double& sv,
            double& sz) {
    su = sv = sz = 0.0;
}

void error1(std::int32_t, const double*, const double*, const ftypes::Logical*, double& e1,
            double& e2) {
    e1 = e2 = 0.0;
}

}  // namespace bunch
