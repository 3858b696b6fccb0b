#include "bunch/particles.hpp"

namespace bunch {

Prtcls prtcls;

void iniprt(std::int32_t& ierr) {
    prtcls.reference_point_x = 0.0;
    prtcls.reference_point_y = 0.0;
    prtcls.reference_point_phi = 0.0;
    prtcls.qtot = 0.0;
    prtcls.npart = 0;
    prtcls.lfbidx = false;
    ierr = 0;
}

void lypart(std::int32_t& ierr) { ierr = 1; }
void readp1(std::string&, std::int32_t& ierr) { ierr = 1; }
void readp2(std::string&, std::int32_t& ierr) { ierr = 1; }
void ptrafo(std::int32_t, std::int32_t, std::int32_t& ierr) { ierr = 1; }

}  // namespace bunch
