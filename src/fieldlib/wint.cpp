// Source points along the retarded window (wint0), their five-point Boole
// integral (wint1) and the retarded integrand of a line-charge element
// (force, a one-entry cache in front of force1s).
#include <cmath>
#include <limits>
#include <span>
#include <string>

#include "fieldlib/fldint.hpp"
#include "fieldlib/sort2.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

// The line before a capacity stop of the source points: the sub-bunch's
// length c*sigmat (sigma_long/beta of the forces layer), its window, and
// what would work.
void say_window(const Context& cx, const std::string& what) {
    double s1 = 0.0, s2 = 0.0;
    f12get(cx, s1, s2);
    foundation::stdout_line(" sigma_long/beta = c*sigmat = " + foundation::short_real(clight * cx.fbdata.sigmat) +
                            " m over the source window s= " + foundation::short_real(s1) + " .. " +
                            foundation::short_real(s2) + " m: " + what);
}

[[noreturn]] void list_full(const Context& cx, double n) {
    say_window(cx, "more than " + std::to_string(maxpnt) + " source points; give a longer sigma_long");
    foundation::stdout_line(" ipnt.gt.maxpnt");
    foundation::fatal_stop(foundation::ld_line({"ipnt,maxpnt=", foundation::ld_int(static_cast<long long>(n)),
                                  foundation::ld_int(maxpnt)}));
}

// Appends a source point, refusing the one that would not fit.
inline void push_point(Context& cx, double x) {
    auto& S = cx.fsidat;
    if (S.n >= maxpnt) list_full(cx, double(S.n) + 1.0);
    S.n += 1;
    S.X(S.n) = x;
}

struct Probe {
    double s, R, kappa2, tau, dtau;
};

inline Probe probe(Context& cx, double s, double t, const V3& r) {
    Probe q;
    q.s = s;
    wihelp(cx, s, t, r, q.R, q.kappa2, q.tau, q.dtau);
    return q;
}

}  // namespace

void wihelp(Context& cx, double s, double t, const V3& r, double& R, double& kappa2, double& tau, double& dtau) {
    PathPoint p;
    double beta;
    pthget(cx, s, 15, p, beta);
    const double dx = r(1) - p.pos(1), dy = r(2) - p.pos(2), dz = r(3) - p.pos(3);
    R = std::sqrt(dx * dx + dy * dy + dz * dz + 1e-300);
    kappa2 = p.curv(1) * p.curv(1) + p.curv(2) * p.curv(2) + p.curv(3) * p.curv(3);
    tau = t - p.time() - R / clight;
    dtau = ((dx * p.tangent(1) + dy * p.tangent(2) + dz * p.tangent(3)) / R - 1.0 / beta) / clight;
}

void wint0(Context& cx, double t, const V3& r) {
    auto& S = cx.fsidat;
    const auto& A = cx.acclim;
    S.n = 0;
    const double sigmat = cx.fbdata.sigmat;
    const double T = window_nsig(cx.setup) * sigmat;  // s; half length of the profile
    double s0, d, beta0;
    PathPoint p0;
    fsmget(cx, s0, d, p0, beta0);
    double s1, s2;
    f12get(cx, s1, s2);
    if (s1 >= s2) return;

    // ranges of the window, less the exclusions of the near zone
    constexpr int maxrange = 8;
    double ra[maxrange], rb[maxrange];
    bool act[maxrange];
    int nr = 1;
    ra[0] = s1;
    rb[0] = s2;
    act[0] = true;
    double ea[3], eb[3];
    int ne = 0;
    bool inwin, near;
    double w1, w2, sminus, splus;
    zisget(cx, inwin, w1, w2, near, sminus, splus);
    if (inwin) {
        for (double v : {w1, w2}) {
            ea[ne] = v - 1.0000000000000002e-14 * std::fabs(v);
            eb[ne] = v + 1.0000000000000002e-14 * std::fabs(v);
            ++ne;
        }
    }
    double rhomin = d;
    if (near) {
        ea[ne] = sminus;
        eb[ne] = splus;
        ++ne;
        const double hw = 0.5 * (splus - sminus);
        rhomin = std::sqrt(hw * hw + d * d);
    }
    for (int x = 0; x < ne; ++x) {
        const int nnow = nr;
        for (int i = 0; i < nnow; ++i) {
            if (!act[i] || !(ra[i] < eb[x] && ea[x] < rb[i])) continue;
            if (ea[x] <= ra[i] && rb[i] <= eb[x]) {
                act[i] = false;
            } else if (ea[x] <= ra[i]) {
                ra[i] = eb[x];
            } else if (rb[i] <= eb[x]) {
                rb[i] = ea[x];
            } else {
                ra[nr] = eb[x];
                rb[nr] = rb[i];
                act[nr] = true;
                ++nr;
                rb[i] = ea[x];
            }
        }
    }
    int na = 0;
    for (int i = 0; i < nr; ++i) {
        if (!act[i]) continue;
        ra[na] = ra[i];
        rb[na] = rb[i];
        ++na;
    }
    nr = na;
    if (nr == 0) return;
    sort2(std::span<double>(ra, std::size_t(nr)), std::span<double>(rb, std::size_t(nr)));

    // point budget, counted in floating point: an observer on the path
    // (d = 0, no cut-out), whose logarithm would be infinite, takes the
    // smallest length scale as its near-zone radius
    const double span = rb[nr - 1] - ra[0];
    if (!(span / rhomin < HUGE_VAL)) rhomin = std::fmax(rhomin, A.Rintmi);
    const double Nf = std::trunc(2.0 * T / sigmat) + 2.0 * nr +
                      2.0 * std::trunc(std::log(span / rhomin + 1.0) / 0.6931471805599453) + 23.0;
    if (!(Nf < double(maxpnt))) {
        say_window(cx, std::isfinite(Nf) ? "needs " + foundation::short_real(Nf) + " source points, at most " +
                                           std::to_string(maxpnt) + "; give a longer sigma_long"
                                     : "a window that is not finite; give a shorter sigma_long or a faster particle 1");
        foundation::stdout_line(" ipp.ge.maxpnt");
        const std::string nt = Nf < 9e18 ? foundation::ld_int(static_cast<long long>(Nf)) : foundation::ld_real(Nf);
        foundation::fatal_stop(foundation::ld_line({"ipp,maxpnt=", nt, foundation::ld_int(maxpnt)}));
    }
    const int N = static_cast<int>(Nf);
    const double dsmax = std::fmax(4.0 * A.sstpma, span / double(maxpnt - N));

    // the walk, from the last range to the first, each from its end down
    Probe last{std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0};
    for (int ir = nr - 1; ir >= 0; --ir) {
        const double a = ra[ir], b = rb[ir];
        push_point(cx, b);
        double s = b;
        do {
            // a. the current point
            const Probe cur = (last.s == s) ? last : probe(cx, s, t, r);
            // b. trial point
            double sp = a;
            if (s >= A.Slow) sp = std::fmax(sp, s - dsmax);
            sp = std::fmax(sp, s < s0 ? s - cur.R : s - cur.R * cur.R / (2.0 * (s - s0)));
            sp = std::fmax(sp, s + sigmat / cur.dtau);
            if (!(sp < s)) sp = std::fmax(a, std::nextafter(s, -HUGE_VAL));  // no step below rounding
            // c. at most about 1.1 sigmat of retarded time per step
            Probe tr = probe(cx, sp, t, r);
            while (tr.tau - cur.tau > 1.1 * sigmat) {
                sp = std::fmax(sp, s + (sp - s) * sigmat / (tr.tau - cur.tau));
                tr = probe(cx, sp, t, r);
            }
            last = tr;
            // d. a straight/curved section edge between s and sp
            bool edge = false;
            double elo = 0.0, ehi = 0.0;
            if (s > A.Slow && sp != s) {
                const bool curved_s = cur.kappa2 != 0.0;
                double u = s;
                while (u > sp) {
                    double un = u - A.sstpma;
                    if (!(un < u) || un < sp) un = sp;
                    u = un;
                    const Probe pu = (u == tr.s) ? tr : probe(cx, u, t, r);
                    if ((pu.kappa2 != 0.0) == curved_s) continue;
                    const double tol = std::fmax(A.Rintmi, A.relacc * std::fmin(cur.R, pu.R));
                    double lo = u, hi = s;
                    while (hi - lo > tol) {
                        const double mid = 0.5 * (lo + hi);
                        if (mid <= lo || mid >= hi) break;
                        PathPoint pm;
                        double bm;
                        pthget(cx, mid, 15, pm, bm);
                        const bool curved = !pm.straight();
                        if (curved == curved_s) hi = mid;
                        else lo = mid;
                    }
                    edge = true;
                    elo = lo;
                    ehi = hi;
                    break;
                }
            }
            // e. the next point; across an edge the sliver is not integrated
            S.flag(S.n) = true;
            push_point(cx, edge ? ehi : sp);
            if (edge) {
                S.flag(S.n) = false;
                push_point(cx, elo);
            }
            s = S.X(S.n);
        } while (a < S.X(S.n));
        S.flag(S.n) = false;
    }
}

void wint1(Context& cx, double /*t*/, const V3& /*r*/, double /*gamma*/, const V3& /*e*/, W15& W) {
    const auto& S = cx.fsidat;
    auto& F = cx.fs1dat;
    if (S.n <= 0) return;
    static constexpr double COEF[5] = {7.0 / 90.0, 32.0 / 90.0, 12.0 / 90.0, 32.0 / 90.0, 7.0 / 90.0};
    for (int j = 1; j <= 15; ++j) F.T(j) = 0.0;
    W15 Fv;
    for (int i = S.n; i >= 2; --i) {
        if (!S.flag(i - 1)) continue;
        const double h = S.X(i - 1) - S.X(i);
        double* Ii = F.I.col(i);
        for (int j = 0; j < 15; ++j) Ii[j] = 0.0;
        for (int k = 0; k <= 4; ++k) {
            force(cx, S.X(i) + k * h / 4, Fv);
            const double ch = COEF[k] * h;
            for (int j = 0; j < 15; ++j) Ii[j] += ch * Fv.a[j];
        }
        for (int j = 1; j <= 15; ++j) F.T(j) += Ii[j - 1];
    }
    for (int j = 1; j <= 15; ++j) W(j) += F.T(j);
}

void force(Context& cx, double s, W15& W) {
    auto& C = cx.cache;
    if (cx.fzdata.newev) {
        cx.fzdata.newev = false;
    } else if (s == C.SOLD) {
        W = C.FBOLD;
        return;
    }
    force1s(cx, s, W);
    C.SOLD = s;
    C.FBOLD = W;
}

void force1s(Context& cx, double s, W15& W) {
    const auto& Z = cx.fzdata;
    const auto& N = cx.fznear;
    ++cx.counters.integrand_calls;
    PathPoint p;
    double beta_s;
    pthget(cx, s, 31, p, beta_s);
    const double gamma_s = p.gamma();
    const double delta = s - N.s0;
    const double rho_n = std::sqrt(delta * delta + N.d * N.d);
    V3 Rv;
    if (Z.rscale > 1e-6 * rho_n) {
        for (int i = 1; i <= 3; ++i) Rv(i) = N.rperp(i) + N.mt0(i) * delta + N.mhk(i) * (delta * delta);
    } else {
        for (int i = 1; i <= 3; ++i) Rv(i) = Z.r(i) - p.pos(i);
    }
    const double R = std::sqrt(Rv(1) * Rv(1) + Rv(2) * Rv(2) + Rv(3) * Rv(3));
    const double tt1 = p.tangent(1), tt2 = p.tangent(2), tt3 = p.tangent(3);
    const double N1 = tt2 * Rv(3) - tt3 * Rv(2);
    const double N2 = tt3 * Rv(1) - tt1 * Rv(3);
    const double N3 = tt1 * Rv(2) - tt2 * Rv(1);
    // velocity factors, by series where both particles are fast
    const double beta = Z.beta;
    double F1, F2;
    if (gamma_s < 20.0 || Z.gamma < 20.0) {
        F1 = beta - beta_s;
        F2 = 1.0 - beta * beta_s;
    } else {
        const double u = 1.0 / (gamma_s * gamma_s), v = 1.0 / (Z.gamma * Z.gamma);
        F1 = 0.5 * (u - v) + 0.125 * (u * u - v * v);
        F2 = 0.5 * (u + v) + 0.125 * (u - v) * (u - v);
    }
    double lam, dlam;
    lambda(cx, s, Z.t - R / clight, lam, dlam);
    const double Lam = lam + R * dlam / clight;
    const double R3 = R * R * R;
    // (e - tt) x N
    const double m1 = Z.e(1) - tt1, m2 = Z.e(2) - tt2, m3 = Z.e(3) - tt3;
    const double X1 = m2 * N3 - m3 * N2, X2 = m3 * N1 - m1 * N3, X3 = m1 * N2 - m2 * N1;
    const double cb = beta_s * Lam;
    const double ce = beta * beta_s * Lam;
    const double cl = beta * beta_s * lam;
    const bool inside = N.inwin && !(s < N.s1) && !(s > N.s2);
    double E1, E2, E3;
    if (!inside) {
        W(4) = cb * N1 / R3;
        W(5) = cb * N2 / R3;
        W(6) = cb * N3 / R3;
        E1 = ce * X1 / R3;
        E2 = ce * X2 / R3;
        E3 = ce * X3 / R3;
        if (!Z.nogamma2) {
            const double cg = F2 * Lam;
            E1 += cg * Rv(1) / R3;
            E2 += cg * Rv(2) / R3;
            E3 += cg * Rv(3) / R3;
        }
        if (!Z.notalman) {
            E1 -= cl * p.curv(1) / R;
            E2 -= cl * p.curv(2) / R;
            E3 -= cl * p.curv(3) / R;
        }
        W(7) = lam / R;
        W(11) = dlam / R;
        for (int i = 1; i <= 3; ++i) {
            W(7 + i) = p.tangent(i) * beta_s * lam / (clight * R);
            W(11 + i) = p.tangent(i) * beta_s * dlam / (clight * R);
        }
    } else {
        const double d2 = delta * delta;
        const double rho3 = rho_n * rho_n * rho_n;
        const double Cl = N.a0 + N.a1 * delta + N.a2 * rho_n;
        const double Ct = N.b0 + N.b1 * delta + N.b2 * rho_n;
        const double Pq = N.p0 + N.q0 * delta;
        double TX[3], TK[3], Rx[3];
        for (int i = 1; i <= 3; ++i) {
            TX[i - 1] = N.txr(i) + N.kxr(i) * delta + N.htk(i) * d2;
            TK[i - 1] = (N.txrk(i) + N.kxrk(i) * delta) * delta;
            Rx[i - 1] = N.rperp(i) + N.mt0(i) * delta + N.mhk(i) * d2;
        }
        const double cp = beta * Pq;
        const double cp2 = beta * beta * Pq;
        W(4) = cb * N1 / R3 + cp * TX[0] / rho3;
        W(5) = cb * N2 / R3 + cp * TX[1] / rho3;
        W(6) = cb * N3 / R3 + cp * TX[2] / rho3;
        E1 = ce * X1 / R3 + cp2 * TK[0] / rho3;
        E2 = ce * X2 / R3 + cp2 * TK[1] / rho3;
        E3 = ce * X3 / R3 + cp2 * TK[2] / rho3;
        if (!Z.nogamma2) {
            const double cg = F2 * Lam, cq = Z.g2inv * Pq;
            E1 += cg * Rv(1) / R3 + cq * Rx[0] / rho3;
            E2 += cg * Rv(2) / R3 + cq * Rx[1] / rho3;
            E3 += cg * Rv(3) / R3 + cq * Rx[2] / rho3;
        }
        if (!Z.notalman) {
            const double ck = beta * beta * Cl;
            E1 += -cl * p.curv(1) / R - ck * N.kperp(1) / rho_n;
            E2 += -cl * p.curv(2) / R - ck * N.kperp(2) / rho_n;
            E3 += -cl * p.curv(3) / R - ck * N.kperp(3) / rho_n;
        }
        W(7) = lam / R + Cl / rho_n;
        W(11) = dlam / R + Ct / rho_n;
        for (int i = 1; i <= 3; ++i) {
            W(7 + i) = p.tangent(i) * beta_s * lam / (clight * R) - N.mt0(i) * beta * Cl / (clight * rho_n);
            W(11 + i) = p.tangent(i) * beta_s * dlam / (clight * R) - N.mt0(i) * beta * Ct / (clight * rho_n);
        }
    }
    W(1) = E1 + tt1 * F1 * dlam / (clight * R);
    W(2) = E2 + tt2 * F1 * dlam / (clight * R);
    W(3) = E3 + tt3 * F1 * dlam / (clight * R);
    // W(15) = W(4..6) . (e x rperp)
    const double y1 = Z.e(2) * N.rperp(3) - Z.e(3) * N.rperp(2);
    const double y2 = Z.e(3) * N.rperp(1) - Z.e(1) * N.rperp(3);
    const double y3 = Z.e(1) * N.rperp(2) - Z.e(2) * N.rperp(1);
    W(15) = W(4) * y1 + W(5) * y2 + W(6) * y3;
}

}  // namespace fieldlib
