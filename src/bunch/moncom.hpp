// The online-monitor slots (ten of them) and the monitor names. Both records
// live on the master only.
#pragma once

#include <cstdint>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace bunch {

// Status of the monitor output of the current run.
struct MonitorStatus {
    std::int32_t nfail = 0;  // online outputs that failed since the last tracker set-up
    bool nonfinite = false;  // a real field of the record being built is not a finite number
};

// The sub-bunch sizes the monitors print (the "fmt3" header, the
// "subbunch" online monitor) [m]: those of the last force evaluation that
// computed them, the forces layer's as given before (show_subbunch_sizes).
struct SubBunchShown {
    double sigma_long, sigma_rad, sigma_vert;
};

struct Moncom {
    ftypes::Arr1<double, cap::maxmon> mostrt;  // start time c*t [m] (a shift until resolved)
    ftypes::Arr1<double, cap::maxmon> moend;   // end time c*t [m] (a shift until resolved)
    ftypes::Arr1<double, cap::maxmon> mostep;  // output interval c*t [m]; 0 = every step
    std::int32_t mofmt;                        // format code of the "monitor" layer
    ftypes::Arr1<std::int32_t, cap::maxmon> mounit;  // open file unit, 0 when none
    ftypes::Arr1<std::int32_t, cap::maxmon> motype;  // 0 phase, 1 steps, 2 subbunch, 3 green
    ftypes::Arr1<std::int32_t, cap::maxmon> moform;  // particle format code of phase output
    ftypes::Arr1<std::int32_t, cap::maxmon> moptcl;  // particle of a phase monitor, 0 = all
    ftypes::Arr1<std::int32_t, cap::maxmon> mocnt;   // outputs made so far
    ftypes::Arr1<ftypes::Logical, cap::maxmon> moact;  // slot in use
    ftypes::Arr1<ftypes::Logical, cap::maxmon> moena;  // slot enabled by the tracker set-up
    ftypes::Arr1<ftypes::Logical, cap::maxmon> mostk;  // start time known (absolute)
    ftypes::Arr1<ftypes::Logical, cap::maxmon> moenk;  // end time known
    ftypes::Arr1<ftypes::Logical, cap::maxmon> mostg;  // time step given
    MonitorStatus status;                      // the monitor output of the current run
    SubBunchShown subbunch;                    // the sub-bunch sizes printed
};

struct Mo2com {
    ftypes::FStr<cap::txtlen> mofile;                           // file of the last "monitor" layer
    ftypes::Arr1<ftypes::FStr<cap::txtlen>, cap::maxmon> moname;  // monitor name / file name (stem)
    ftypes::Arr1<ftypes::FStr<cap::txtlen>, cap::maxmon> mostmk;  // start marker, or "now"
    ftypes::Arr1<ftypes::FStr<cap::txtlen>, cap::maxmon> moenmk;  // end marker
};

extern Moncom moncom;
extern Mo2com mo2com;

}  // namespace bunch
