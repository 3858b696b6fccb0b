// Small lattices for tests and benchmarks, built through the boundary
// placement of the lattice layer and completed with the section codes the
// element readers would store.
#pragma once

#include <cstdint>

#include "foundation/ftypes.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"

namespace testsupport {

// Writes the section codes (a, b) of boundary i and the private-data
// counters as they stand now (the data of the elements up to boundary i).
inline void set_codes(int i, int a, int b) {
    auto& L = lattice::latcom;
    L.isect(1, i) = a;
    L.isect(2, i) = b;
    L.isect(3, i) = L.nila;
    L.isect(4, i) = L.nrla;
}

// Appends a field boundary ending a section of radius r [m] (0: straight)
// and path length ds [m], its normal along the new tangent, coded as a thick
// element without private data (a uniform field, or a drift when r = 0).
// Returns the boundary's index, or 0 when it could not be placed.
inline int add_section(double r, double ds, bool duty = false) {
    lattice::Pos4 pos;
    pos(1) = ftypes::UNDEF_REAL;
    pos(2) = ftypes::UNDEF_REAL;
    pos(3) = ds;
    pos(4) = ftypes::UNDEF_REAL;
    std::int32_t ierr = 0;
    lattice::positi(r, pos, "undefined", duty, ierr);
    if (ierr != 0) return 0;
    set_codes(lattice::latcom.nfb, 1, 0);
    return lattice::latcom.nfb;
}

}  // namespace testsupport
