// Transverse-size models of the sub-bunch: the near-zone term that replaces
// the logarithmic pole of a line charge by the potential of a bunch with a
// transverse profile (0 thin line, 1 Gaussian ribbon along a direction,
// 2 circular Gaussian, 3 elliptical Gaussian), and the model settings.
#pragma once

#include <cstdint>
#include <string_view>

#include "fieldlib/fldtypes.hpp"

namespace fieldlib {

// Transverse model settings (written by fcoini) and the model's own
// geometry values (rlogc, qdist, poff, written by the models).
struct Fcdata {
    double sigmar;   // m; radial (horizontal) rms size
    double sigmaz;   // m; vertical (or directed) rms size
    double rlogc;    // m; log reference length
    double ex, ey, ez;  // unit direction of the ribbon (model 1)
    double qdist;    // m; distance of the observer from the ribbon's plane (model 1)
    double poff;     // m; offset of the observer along the ribbon (model 1)
    double smin;     // m; min(sigmaz, sigmar)
    double sdiff;    // m; sqrt(|sigmaz^2 - sigmar^2|)
    std::int32_t method;  // 0..3
    ftypes::Logical lzgtr;  // sigmaz > sigmar
};

// A name without its trailing blanks: finit and fcoini compare names like
// blank-padded texts.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Sets one field of the model settings fc: "method", "sigmaz", "sigmar",
// "ex", "ey", "ez". Any other action is a fatal stop ("error in
// fld_conv/fcoini: unknown action").
void fcoini(Fcdata& fc, std::string_view action, double value);

// The near-zone values the models read (unretarded line density terms at the
// nearest path point, the test particle's gamma, the log reference length
// and the local geometry), as the near zone hands them out.
struct Fzget {
    double e0;     // -lambda at (s0, t) [C/m]
    double e1;     // -d lambda/dt
    double e2;     // -d lambda/ds
    double gamma;  // Lorentz factor of the test particle
    double rlog;   // m; log reference length (1.0)
    V3 rperp;      // m; observer offset from the nearest path point, across the tangent
    V3 t0;         // unit tangent at the nearest point
    V3 kperp;      // 1/m; curvature vector across the tangent
    bool nogamma2; // drop the 1/gamma^2 velocity-field terms
    bool notalman; // drop the curvature term
};

// The transverse-size term of the model chosen by fc.method, overwriting
// all 15 components of W (not yet scaled by 1/(4 pi eps0)). The models keep
// their geometry values (rlogc, qdist, poff) in fc.
void fzsp(Fcdata& fc, const Fzget& nz, W15& W);
void fzsp0(Fcdata& fc, const Fzget& nz, W15& W);
void fzsp1(Fcdata& fc, const Fzget& nz, W15& W);
void fzsp2(Fcdata& fc, const Fzget& nz, W15& W);
void fzsp3(Fcdata& fc, const Fzget& nz, W15& W);

// Tabulated functions of x = rho/sigma for a circular Gaussian of rms sigma:
// h1 = 1 - exp(-x^2/2), h2 = E1(x^2/2)/2, h3 = h2 + h1/x^2.
double h1conv(double x);
double h2conv(double x);
double h3conv(double x);

// Chebyshev series of m coefficients c(1..m) on [a, b] at x.
double chebev(double a, double b, const double* c, int m, double x);

// The ribbon integrals I1..I4 of model 1 for the observer offsets stored in
// fc (qdist, poff, rlogc, sigmaz).
void icgral(const Fcdata& fc, double& I1, double& I2, double& I3, double& I4);

}  // namespace fieldlib
