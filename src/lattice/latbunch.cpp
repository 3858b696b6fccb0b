#include "lattice/latbunch.hpp"

namespace lattice {

void inila2(std::int32_t& ierr) { ierr = 0; }
void latti2(std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax, std::int32_t& ifbmax,
            std::int32_t& ierr) {
    ifbdut = 0;
    lany = false;
    ctmin = 0.0;
    ctmax = 0.0;
    ifbmax = 0;
    ierr = 0;
}
void titofb(int, const double*, const std::int32_t*, double, int, int, double& ctout, bool& ok) {
    ctout = 0.0;
    ok = false;
}
void latget(int, bool& lthin, double*, double*) { lthin = false; }

}  // namespace lattice
