// The lattice record, its emptying, and the field-boundary geometry.
#include "lattice/lattice.hpp"

#include <cmath>

#include "run/log.hpp"

namespace lattice {

Latcom latcom;
Latmks latmks;

void inilat(std::int32_t& ierr) {
    latcom.nfb = 0;
    latcom.nila = 0;
    latcom.nrla = 0;
    latcom.lfbok = false;
    ierr = 0;
}

}  // namespace lattice
