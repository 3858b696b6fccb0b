// Free-space field of the model bunch at one event, and the stretch of the
// path [s1, s2] from which retarded signals of its charged part arrive.
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

// The tolerance of the source window's ends per second of sigmat [m/s]:
// c/20, so that the ends are found to c sigmat/20, 5% of the rms bunch
// length.
constexpr double window_end_tolerance = clight / 20.0;
static_assert(window_end_tolerance == 14989622.9);

}  // namespace

// The field of the bunch in free space at (r, t), the retarded fields of
// its line charge integrated along the path over the source window:
//   W = 1/(4 pi eps0) [ near-zone correction + transverse-size term
//                       + sum of Boole integrals of the integrand ds ]
// with 1/(4 pi eps0) = 8987551787.366543 V m/C; W(1..6) in V/m.
void freesp(Context& cx, double t, const V3& r, double gamma0, const V3& e0, W15& W, bool image) {
    const Setup& setup = cx.setup;
    const Acclim& acclim = cx.acclim;
    // the transverse-size term is wanted for this bunch
    const bool tsize = cx.fcdata.method != 0 && !(image && setup.onedmirror);
    cx.fznear.extract = setup.onedpoleex || tsize;
    const double nsig = window_nsig(setup);
    const double sigmat = setup.sigmat;
    f12ini(cx, t, r, acclim.Slow - acclim.Rintma, acclim.Shigh + clight * sigmat * nsig,
           (nsig + 0.1) * sigmat, 0.0, sigmat * window_end_tolerance);
    ziinit(cx, t, r, gamma0, e0, sigmat, acclim.relacc);
    for (int i = 1; i <= 15; ++i) W(i) = 0.0;
    fzcorr(cx, W);
    if (tsize && !setup.onedpoleex) {
        Fzget g;
        fziget(cx, g);
        W15 Wt;
        fzsp(cx.fcdata, g, Wt);
        for (int i = 1; i <= 15; ++i) W(i) += Wt(i);
    }
    wint0(cx, t, r);
    wint1(cx, W);
    for (int i = 1; i <= 15; ++i) W(i) = W(i) * fourpieps_inv;
}

// The retardation residual of the source window [s]: the light-travel
// condition
//   f(s) = (t -+ margin) - t(s) - |r - x(s)|/c
// is 0 where the signal of the bunch element that passes s a time margin
// after (mode 1) or before (mode 2) the path particle reaches the observer
// at t;
// df = (-1/beta(s) - tangent.(x(s) - r)/|x(s) - r|)/c [s/m] < 0.
void tofs(Context& cx, double s, double& f, double& df) {
    const auto& F = cx.f12dat;
    PathPoint p;
    double beta;
    pthget(cx, s, p, beta);
    const double d1 = p.pos(1) - F.r(1), d2 = p.pos(2) - F.r(2), d3 = p.pos(3) - F.r(3);
    const double h = F.offset;
    double dz;
    if (F.mode == 1) {
        dz = d3 + (d3 < 0.0 ? -h : h);
    } else {
        dz = std::fabs(d3) <= h ? 0.0 : d3 - (d3 < 0.0 ? -h : h);
    }
    const double D = std::sqrt(d1 * d1 + d2 * d2 + dz * dz);
    if (F.mode == 1) f = (F.t - F.margin) - p.time() - D / clight;
    else f = (F.t + F.margin) - p.time() - D / clight;
    df = (-1.0 / beta - (p.tangent(1) * d1 + p.tangent(2) * d2 + p.tangent(3) * dz) / (D + 1e-100)) / clight;
}

// The straight-line estimate: the path as its tangent line at slo, passed
// at the speed beta c there; the signal of the element at s reaches the
// observer, at the distance a along and d across the line, when
//   (sb - s)^2 = beta^2 ((s - a)^2 + d^2)
// (sb the element's position at time t); the smaller root [m].
double f12est(Context& cx, double slo, double sgn) {
    const auto& F = cx.f12dat;
    PathPoint p;
    double beta;
    pthget(cx, slo, p, beta);
    const double t0 = p.time(), gamma = p.gamma();
    const double rx = F.r(1) - p.pos(1), ry = F.r(2) - p.pos(2), rz = F.r(3) - p.pos(3);
    double a = p.tangent(1) * rx + p.tangent(2) * ry + p.tangent(3) * rz;
    const double dx = rx - a * p.tangent(1), dy = ry - a * p.tangent(2), dz = rz - a * p.tangent(3);
    a = a + slo;
    const double sb = slo + (F.t - t0 + sgn * F.margin) * clight * beta;
    const double b = (a * (beta * beta) - sb) * (gamma * gamma);
    double disc = b * b - gamma * gamma * (sb * sb - beta * beta * (a * a + (dx * dx + dy * dy + dz * dz)));
    if (disc < 0.0) disc = 0.0;  // a negative rounding residue: the double root
    return -b - std::sqrt(disc);
}

namespace {

// The zero of the residual between xl (f < 0) and xh (f > 0): Newton steps,
// bisection where Newton would leave the bracket or converge slowly.
double rtsafe(Context& cx, double xl, double xh, double tol, const char* warning) {
    double x = 0.5 * (xl + xh);
    double dxold = std::fabs(xh - xl), dx = dxold;
    double f, df;
    tofs(cx, x, f, df);
    for (int it = 0; it < 99; ++it) {
        if (((x - xh) * df - f) * ((x - xl) * df - f) >= 0.0 || std::fabs(2.0 * f) > std::fabs(dxold * df)) {
            // bisection; it stops when the half step no longer moves x off xl
            dxold = dx;
            dx = 0.5 * (xh - xl);
            x = xl + dx;
            if (x == xl) return x;
        } else {
            // Newton; it stops when the step no longer changes x
            dxold = dx;
            dx = f / df;
            const double xold = x;
            x = x - dx;
            if (x == xold) return x;
        }
        if (std::fabs(dx) < tol) return x;
        tofs(cx, x, f, df);
        if (f >= 0.0) xh = x;
        else xl = x;
    }
    foundation::stdout_line(warning);
    return x;
}

// One window end on [lo, hi] of the residual of the current mode.
double window_end(Context& cx, double lo, double hi, double slo, double sgn, double tol, const char* warning) {
    double flo, fhi, df;
    tofs(cx, lo, flo, df);
    if (flo == 0.0) return lo;
    tofs(cx, hi, fhi, df);
    if (fhi == 0.0) return hi;
    if ((flo < 0.0) != (fhi < 0.0)) {
        return flo < 0.0 ? rtsafe(cx, lo, hi, tol, warning) : rtsafe(cx, hi, lo, tol, warning);
    }
    if (std::fabs(fhi) <= std::fabs(flo)) return hi;
    return f12est(cx, slo, sgn);
}

}  // namespace

// The source window [s1, s2]: the stretch of the path whose retarded
// signals of the charged part of the bunch (within margin of its centre)
// reach the observer at t: s1 the zero of the residual of mode 1 on
// [slo, shi], s2 that of mode 2 above s1 (or their straight-line estimates
// where the residual does not change sign).
void f12ini(Context& cx, double t, const V3& r, double slo, double shi, double margin, double offset,
            double tol) {
    auto& F = cx.f12dat;
    F.margin = margin;
    F.offset = offset;
    F.r = r;
    F.t = t;
    F.mode = 1;
    F.s1 = window_end(cx, slo, shi, slo, -1.0, tol, " warning fld_s1_s2/f12ini: s1 accuracy not reached");
    if (F.s1 == shi) {
        F.s2 = shi;
        return;
    }
    F.mode = 2;
    const double lo = std::fmax(slo, F.s1);
    F.s2 = window_end(cx, lo, shi, slo, 1.0, tol, " warning fld_s1_s2/f12ini: s2 accuracy not reached");
}

void f12get(const Context& cx, double& s1, double& s2) {
    s1 = cx.f12dat.s1;
    s2 = cx.f12dat.s2;
}

void zisget(const Context& cx, bool& inwin, double& s1, double& s2, bool& near, double& sminus, double& splus) {
    const auto& N = cx.fznear;
    inwin = N.inwin;
    s1 = N.s1;
    s2 = N.s2;
    near = N.near;
    sminus = N.sminus;
    splus = N.splus;
}

}  // namespace fieldlib
