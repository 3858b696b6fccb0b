// The lattice record: field boundaries of the beam line, section codes and
// the private data of the elements, plus the boundary marker names.
//
// One instance per process. Filled by the "lattice" layer, completed by the
// bunch set-up on the lattice (curvature tables, reference crossing times),
// sent whole to the slaves with the run state.
#pragma once

#include <cstdint>

#include "include/capacities.hpp"
#include "include/ftypes.hpp"

namespace lattice {

// Boundary record fb(1..8, i):
//   1 x, 2 y      crossing point of the reference line (m)
//   3 tx, 4 ty    unit tangent of the reference line there
//   5 nx, 6 ny    unit normal of the boundary line
//   7 s           path length from the lattice start (m)
//   8 r           radius of the section ending here (m, 0 = straight,
//                 positive turns clockwise)
// Section data isect(1..4, i) of the section that ends at boundary i:
//   1 1 = made by a thick element, 0 = a thin element sits at the boundary
//   2 field code (0 uniform/drift, 1 multipole or thin quadrupole, or the
//     discrete_free element's own type)
//   3 nila after the element that made boundary i
//   4 nrla after that element
struct Latcom {
    ftypes::Arr2<double, 8, cap::maxlat> fb;        // boundary records
    ftypes::Arr2<double, 8, cap::maxlat> fbchg;     // records where the radius changes
    ftypes::Arr1<double, cap::rlalen> rla;          // private reals of all elements
    ftypes::Arr1<double, cap::maxlat> ctfb;         // c*t (m) of the reference crossing
    ftypes::Arr2<double, 2, cap::maxlat> srtab;     // (s, r) curvature table
    ftypes::Arr2<std::int32_t, 4, cap::maxlat> isect;  // section data
    ftypes::Arr1<std::int32_t, cap::ilalen> ila;    // private integers of all elements
    std::int32_t nfb;                               // number of field boundaries
    std::int32_t nfbchg;                            // entries of fbchg and srtab
    std::int32_t nila;                              // private integers in use
    std::int32_t nrla;                              // private reals in use
    ftypes::Logical lfbok;                          // next-boundary indices valid
    ftypes::Arr1<ftypes::Logical, cap::maxlat> fbduty;  // duty boundaries
};

// Marker names of the boundaries ("undefined" when none is given).
struct Latmks {
    ftypes::Arr1<ftypes::FStr<80>, cap::maxlat> fbmark;
};

extern Latcom latcom;
extern Latmks latmks;

}  // namespace lattice
