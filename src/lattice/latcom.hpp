// The lattice record: field boundaries of the beam line, section codes and
// the private data of the elements, plus the boundary marker names.
//
// One instance per process. Filled by the "lattice" layer, completed by the
// bunch set-up on the lattice (curvature tables, reference crossing times),
// sent whole to the slaves with the run state.
#pragma once

#include <cstdint>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace lattice {

// Words of a boundary record fb(1..8, i) (also of the rows of fbchg):
enum FbWord : int {
    fb_x = 1, fb_y = 2,    // crossing point of the reference line (m)
    fb_tx = 3, fb_ty = 4,  // unit tangent of the reference line there
    fb_nx = 5, fb_ny = 6,  // unit normal of the boundary line
    fb_s = 7,              // path length from the lattice start (m)
    fb_r = 8,              // radius of the section ending here (m, 0 = straight,
                           // positive turns clockwise)
};

// Words of a row j of the (s, r) curvature table srtab(1..2, j):
enum SrWord : int {
    sr_s = 1,  // path length of the boundary fbchg(., j) (m)
    sr_r = 2,  // radius of the section that starts there (m, 0 = straight)
};

// The private reals of a thick multipole (quadrupole, multipole), the last
// four of its element: rla(b + mp_hoff) .. rla(b + mp_alpha) with b the
// count of private reals before them. Its one private integer is the
// order m.
enum MultipoleReal : int {
    mp_hoff = 1,      // horizontal_offset of the magnetic centre (m)
    mp_voff = 2,      // vertical_offset (m)
    mp_strength = 3,  // strength (m^-m)
    mp_alpha = 4,     // rotation alpha (rad)
};
inline constexpr int multipole_reals = 4;

// Words of the section data isect(1..4, i) of the section ending at boundary i:
enum SectWord : int {
    sect_thick = 1,  // 1 = made by a thick element, 0 = a thin element sits at the boundary
    sect_code = 2,   // field code: 0 uniform/drift, 1 multipole or thin quadrupole,
                     // or the discrete_free element's own type
    sect_nila = 3,   // nila after the element that made boundary i
    sect_nrla = 4,   // nrla after that element
};

struct Latcom : ftypes::NoCopy {
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

    // Named words of boundary i.
    double& x(int i) { return fb(fb_x, i); }
    double& y(int i) { return fb(fb_y, i); }
    double& tx(int i) { return fb(fb_tx, i); }
    double& ty(int i) { return fb(fb_ty, i); }
    double& nx(int i) { return fb(fb_nx, i); }
    double& ny(int i) { return fb(fb_ny, i); }
    double& s(int i) { return fb(fb_s, i); }
    double& r(int i) { return fb(fb_r, i); }
    double x(int i) const { return fb(fb_x, i); }
    double y(int i) const { return fb(fb_y, i); }
    double tx(int i) const { return fb(fb_tx, i); }
    double ty(int i) const { return fb(fb_ty, i); }
    double nx(int i) const { return fb(fb_nx, i); }
    double ny(int i) const { return fb(fb_ny, i); }
    double s(int i) const { return fb(fb_s, i); }
    double r(int i) const { return fb(fb_r, i); }
    // Named words of row j of the curvature tables.
    double& chg_s(int j) { return fbchg(fb_s, j); }
    double& chg_r(int j) { return fbchg(fb_r, j); }
    double& sr_s(int j) { return srtab(SrWord::sr_s, j); }
    double& sr_r(int j) { return srtab(SrWord::sr_r, j); }
    double chg_s(int j) const { return fbchg(fb_s, j); }
    double chg_r(int j) const { return fbchg(fb_r, j); }
    double sr_s(int j) const { return srtab(SrWord::sr_s, j); }
    double sr_r(int j) const { return srtab(SrWord::sr_r, j); }
    // Named words of the section ending at boundary i.
    std::int32_t& thick(int i) { return isect(sect_thick, i); }
    std::int32_t& code(int i) { return isect(sect_code, i); }
    std::int32_t& nila_at(int i) { return isect(sect_nila, i); }
    std::int32_t& nrla_at(int i) { return isect(sect_nrla, i); }
    std::int32_t thick(int i) const { return isect(sect_thick, i); }
    std::int32_t code(int i) const { return isect(sect_code, i); }
    std::int32_t nila_at(int i) const { return isect(sect_nila, i); }
    std::int32_t nrla_at(int i) const { return isect(sect_nrla, i); }
};

// Marker names of the boundaries ("undefined" when none is given).
struct Latmks : ftypes::NoCopy {
    ftypes::Arr1<ftypes::FStr<cap::txtlen>, cap::maxlat> fbmark;
};

extern Latcom latcom;
extern Latmks latmks;

}  // namespace lattice
