#include "lattice/track.hpp"

namespace lattice {

void trck3d(int, double*, std::int32_t*, double, double, double, double, const double*,
            const double*, bool) {}
void cstrck(double*, std::int32_t&, bool& lcross, double&, double, double, double, const double*,
            const double*, bool) {
    lcross = false;
}
void ctrder(double, const double*, double*, const double*, int) {}
void ct2der(double, const double*, double*, const double*, int) {}
void fbpts(const double*, std::int32_t, double, double*) {}
void thin_kick(double*, const double*, const double*) {}

}  // namespace lattice
