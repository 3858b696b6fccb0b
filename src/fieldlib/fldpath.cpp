// Path access of the field library: a one-entry cache in front of the
// design path, and the path point nearest to the observer (Brent's
// minimiser with derivatives, then one Newton-type step).
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "lattice/pthgen.hpp"

namespace fieldlib {

namespace {

inline double dist(const PathPoint& p, const V3& r) {
    const double ex = p.pos(1) - r(1), ey = p.pos(2) - r(2), ez = p.pos(3) - r(3);
    return std::sqrt(ex * ex + ey * ey + ez * ez);
}

// Brent's minimisation of func on [a, c] from b, with first derivatives:
// func(x, f, df) gives the function and its derivative, tolf(x, f, df) the
// absolute tolerance.
template <class Func, class Tol>
void fminim(double a, double b, double c, double& xmin, double& fmin, Func&& func, Tol&& tolf) {
    double lo = std::fmin(a, c), hi = std::fmax(a, c);
    double x = b, w = b, v = b;
    double fx, dx;
    func(x, fx, dx);
    double fw = fx, fv = fx, dw = dx, dv = dx;
    double d = 0.0, e = 0.0;
    double olddist = std::fabs(c - a);
    for (int iter = 0; iter < 200; ++iter) {
        const double xm = 0.5 * (lo + hi);
        const double tol1 = tolf(x, fx, dx);
        const double tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= tol2 - 0.5 * (hi - lo)) break;
        bool interpolated = false;
        if (std::fabs(e) > tol1) {
            double d1 = 2.0 * (hi - lo), d2 = d1;
            if (dw != dx) d1 = (w - x) * dx / (dx - dw);
            if (dv != dx) d2 = (v - x) * dx / (dx - dv);
            const double u1 = x + d1, u2 = x + d2;
            const bool ok1 = (lo - u1) * (u1 - hi) > 0.0 && dx * d1 <= 0.0;
            const bool ok2 = (lo - u2) * (u2 - hi) > 0.0 && dx * d2 <= 0.0;
            const double olde = e;
            e = d;
            if (ok1 || ok2) {
                if (ok1 && ok2) d = std::fabs(d1) < std::fabs(d2) ? d1 : d2;
                else d = ok1 ? d1 : d2;
                if (std::fabs(d) <= std::fabs(0.5 * olde)) {
                    const double u = x + d;
                    if (u - lo < tol2 || hi - u < tol2) d = std::copysign(std::fabs(tol1), xm - x);
                    interpolated = true;
                }
            }
        }
        if (!interpolated) {
            e = (dx >= 0.0) ? lo - x : hi - x;
            d = 0.5 * e;
        }
        double u, fu, du;
        if (std::fabs(d) >= tol1) {
            u = x + d;
            func(u, fu, du);
        } else {
            u = x + std::copysign(std::fabs(tol1), d);
            func(u, fu, du);
            if (fu > fx) break;
        }
        if (fu <= fx) {
            if (u >= x) lo = x;
            else hi = x;
            v = w; fv = fw; dv = dw;
            w = x; fw = fx; dw = dx;
            x = u; fx = fu; dx = du;
        } else {
            if (u < x) lo = u;
            else hi = u;
            if (fu <= fw || w == x) {
                v = w; fv = fw; dv = dw;
                w = u; fw = fu; dw = du;
            } else if (fu < fv || v == x || v == w) {
                v = u; fv = fu; dv = du;
            }
        }
        if (olddist <= std::fabs(hi - lo)) break;
        olddist = std::fabs(hi - lo);
    }
    xmin = x;
    fmin = fx;
}

}  // namespace

void pthini(Context& cx) { cx.fpdata.valid = false; }

void ptcall(Context& cx, double s) {
    auto& C = cx.fpdata;
    C.s = s;
    lattice::path(cx.path, s, C.p);
    C.beta = std::sqrt(1.0 - 1.0 / (C.p.gamma() * C.p.gamma()));
    C.valid = true;
    ++cx.counters.path_calls;
}

void pthget(Context& cx, double s, PathPoint& p, double& beta) {
    auto& C = cx.fpdata;
    if (!(C.valid && s == C.s)) ptcall(cx, s);
    p = C.p;
    beta = C.beta;
}

void rofs(Context& cx, double s, double& d, double& dd) {
    const Fsdata& F = cx.fsdata;
    PathPoint p;
    double beta;
    pthget(cx, s, p, beta);
    const double dx = p.pos(1) - F.r(1), dy = p.pos(2) - F.r(2), dz = p.pos(3) - F.r(3);
    d = std::sqrt(dx * dx + dy * dy + dz * dz);
    dd = (dx * p.tangent(1) + dy * p.tangent(2) + dz * p.tangent(3)) / (d + 1e-100);
}

void fsmini(Context& cx, const V3& r, double Slow, double Shigh, double tol, double s_start) {
    auto& F = cx.fsdata;
    F.r = r;
    F.tol = tol;
    double b = s_start;
    if (!(Slow < s_start && s_start < Shigh)) b = 0.5 * (Slow + Shigh);
    double s, d;
    // the distance and its derivative; the tolerance relative to the
    // distance, with no absolute floor
    const auto distance = [&cx](double x, double& f, double& df) { rofs(cx, x, f, df); };
    const auto tolerance = [&F](double /*x*/, double f, double /*df*/) { return F.tol * f; };
    fminim(Slow, b, Shigh, s, d, distance, tolerance);
    pthget(cx, s, F.p, F.beta);
    // one Newton-type step
    const double dx = F.p.pos(1) - r(1), dy = F.p.pos(2) - r(2), dz = F.p.pos(3) - r(3);
    const double num = dx * F.p.tangent(1) + dy * F.p.tangent(2) + dz * F.p.tangent(3);
    const double den = 1.0 + 2.0 * (F.p.curv(1) * dx + F.p.curv(2) * dy + F.p.curv(3) * dz);
    const double sn = s - num / den;
    // The denominator vanishes for an observer halfway between an arc and its
    // centre, where the step is a rounding residue divided by a rounding
    // residue, wild or not a number: the step is kept from such a
    // denominator (below 1e-6 in magnitude, where a residue would be
    // magnified a million times) and whenever it is not finite.
    if (std::fabs(den) >= 1e-6 && std::isfinite(sn)) {
        s = sn;
        pthget(cx, s, F.p, F.beta);
    }
    F.s = s;
    F.d = dist(F.p, r);
}

void fsmget(const Context& cx, double& s, double& d, PathPoint& p, double& beta) {
    const Fsdata& F = cx.fsdata;
    s = F.s;
    d = F.d;
    p = F.p;
    beta = F.beta;
}

void fsmin2(Context& cx, const V3& r) {
    Fsdata& F = cx.fsdata;
    F.r = r;
    F.d = dist(F.p, r);
}

}  // namespace fieldlib
