// The work of the projected model ("projected", force1): its arrays, part
// of the models' work (work.hpp).
#pragma once

#include "forces/csr1d.hpp"
#include "forces/fconv.hpp"
#include "foundation/capacities.hpp"

namespace forces {

// Terms of the series of the deposit's moments.
inline constexpr int nmom = 16;

// Work arrays of the model, in the models' work (ModelWork, zero-filled:
// untouched until the first evaluation); nothing is allocated during an
// evaluation.
struct Force1Work {
    double cur[cap::nsamax];    // line current on the grid [A]
    WakePars epar;              // CSR wake block: parameters
    double e[nwkmax];           // and values, offsets k = 1 - nsam .. the points ahead
    double gau[nwkmax];         // total wake over its index range
    double kern[cap::nsamax];   // smoothing kernel of the wake_file's wake
    double e2[cap::nsamax];     // the file's wake smoothed, on its coarse grid
    double file[cap::nsamax];   // the file's wake resampled on the force grid
    double w[cap::nsamax];      // force on the grid
    double ct[cap::maxprt];     // deposit pairs: c*t [m]
    double q[cap::maxprt];      //   and charge [C]
    double sx[cap::maxprt + 1];  // cumulative sums of the filter
    double mom[2 * nmom * cap::nsamax];  // moments of the deposit
    CsrWork csr;
    FftWork fft;
};

}  // namespace forces
