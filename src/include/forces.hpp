// The self-force settings: force type, sub-bunch shape and sizes, shielding,
// mesh-box sizes, free parameters, the sub-bunch property table, the wake
// and the call counters. One instance per process; the slaves receive the
// model settings with every tracking run.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "include/capacities.hpp"
#include "include/ftypes.hpp"

namespace forces {

struct Forces {
    double sigma_long;     // m; effective longitudinal sub-bunch size during tracking
    double sigma_rad;      // m; effective radial size
    double sigma_vert;     // m; effective vertical size
    double relative_long;  // factor on the rms bunch length ("relative")
    double relative_vert;  // factor on the rms bunch height ("relative")
    double rintmi;         // m; smallest distance used by the field library
    double sbox;           // observer-box length in units of the longitudinal size
    double rbox;           // observer-box width in units of the radial size
    double shield;         // m; distance between the shielding plates, 0 = free space
    double shield_max;     // m; largest image distance taken into account
    ftypes::Arr2<double, 4, cap::matist> sigfil;  // per row: c*t, long., rad., vert. size [m]
    double par1, par2, par3, par4, par5;           // free model parameters
    double sigwak;         // m; rms bunch length of the wake_file's wake
    double stpwak;         // m; spacing of the wake samples
    ftypes::Arr1<double, cap::narcsr> wakdat;      // sample k at position k - n1wak + 1
    std::int32_t itype;    // 0 none, 1 projected, 2 csr_p_to_p, 3 csr_p_to_m, 4 csr_g_to_p, 5 csr_g_to_m
    std::int32_t ishape;   // 2 sphere, 3 ellipsoid (types 2..5)
    std::int32_t nsgfil;   // rows in sigfil
    ftypes::Arr1<std::int32_t, 5> nfcall;  // force evaluations so far per type 1..5
    std::int32_t n1wak, n2wak;             // first and last sample index of the wake
    ftypes::Logical lrell;   // longitudinal size = relative_long * rms length
    ftypes::Logical lradl;   // radial size follows the longitudinal size
    ftypes::Logical lrelv;   // vertical size = relative_vert * rms height
    ftypes::Logical ltest;   // diagnostic lines and files of the models
    ftypes::Logical lsgfil;  // the sigma_file was read in this block
    ftypes::Logical lfill, lfilr, lfilv;  // size taken from sigfil (long., rad., vert.)
    ftypes::Logical ltrace;  // force trace switch; no input sets it
    ftypes::Logical loldms;  // a stored Green's function may be reused
    ftypes::Logical lwake;   // a wake_file was read
};

extern Forces forces;

// Keywords of the force types 0..5.
inline constexpr std::array<std::string_view, 6> cforce = {
    "none", "projected", "csr_p_to_p", "csr_p_to_m", "csr_g_to_p", "csr_g_to_m"};

// Conversion of a force (m*c per metre of c*t) from a field in V/m: 1/(m c^2 in eV).
inline constexpr double force_scale = 1.957047868709806e-06;

}  // namespace forces
