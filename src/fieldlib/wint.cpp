// Source points along the retarded window (wint0), their five-point Boole
// integral (wint1) and the retarded integrand of a line-charge element
// (integrand, with cached_integrand, its one-entry cache, in front of it).
#include <cmath>
#include <limits>
#include <span>
#include <string>

#include "fieldlib/fldint.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/keyed_sort.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

// The line before a capacity stop of the source points: what the field
// integration cannot do and what would work, then the sub-bunch's length
// c*sigmat (sigma_long/beta of the forces layer) and the length of path its
// source window spans. (Where the window lies, in path coordinates that run
// far beyond the lattice, says nothing to the user.)
void say_window(const Context& cx, const std::string& what, const std::string& advice) {
    double s1 = 0.0, s2 = 0.0;
    f12get(cx, s1, s2);
    foundation::stdout_line(" the field integration " + what + ": " + advice + " (c*sigmat = sigma_long/beta = " +
                            foundation::short_real(clight * cx.fbdata.sigmat) + " m over a source window of " +
                            foundation::short_real(s2 - s1) + " m of path)");
}

[[noreturn]] void list_full(const Context& cx, double n) {
    say_window(cx, "needs more than " + std::to_string(maxpnt) + " source points", "give a longer sigma_long");
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

// The stretches of the source window still to be walked: [a(i), b(i)],
// i = 0..n-1, sorted by their start.
struct Ranges {
    static constexpr int max = 8;
    double a[max], b[max];
    int n;
};

// The window [s1, s2] less the near zone's exclusions: two slivers of a
// relative 1e-14 around the near-zone window's ends (so that they become
// points of the list) when the nearest point lies inside it, and the cut-out
// interval when there is one. rhomin becomes the near-zone radius of the
// point budget: d, or the distance from the observer to the cut-out's ends.
Ranges window_ranges(const Context& cx, double s1, double s2, double d, double& rhomin) {
    Ranges g;
    double* ra = g.a;
    double* rb = g.b;
    bool act[Ranges::max];
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
    rhomin = d;
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
    g.n = na;
    if (na > 0) foundation::sort2(std::span<double>(ra, std::size_t(na)), std::span<double>(rb, std::size_t(na)));
    return g;
}

// The largest step of the walk, from the point budget: 2T/sigmat points
// for the profile, two per range, two per octave of the window length over
// the near-zone radius, and 23 to spare; a budget of maxpnt or more ends
// the job. The budget is counted in floating point: an observer on the path
// (d = 0, no cut-out), whose logarithm would be infinite, takes the
// smallest length scale as its near-zone radius.
double step_budget(const Context& cx, const Ranges& g, double T, double sigmat, double rhomin) {
    const auto& A = cx.acclim;
    const double span = g.b[g.n - 1] - g.a[0];
    if (!(span / rhomin < HUGE_VAL)) rhomin = std::fmax(rhomin, A.Rintmi);
    const double Nf = std::trunc(2.0 * T / sigmat) + 2.0 * g.n +
                      2.0 * std::trunc(std::log(span / rhomin + 1.0) / 0.6931471805599453) + 23.0;
    if (!(Nf < double(maxpnt))) {
        if (std::isfinite(Nf))
            say_window(cx, "needs " + foundation::short_real(Nf) + " source points, at most " + std::to_string(maxpnt),
                       "give a longer sigma_long");
        else
            say_window(cx, "has a source window that is not finite", "give a shorter sigma_long or a faster particle 1");
        foundation::stdout_line(" ipp.ge.maxpnt");
        const std::string nt = Nf < 9e18 ? foundation::ld_int(static_cast<long long>(Nf)) : foundation::ld_real(Nf);
        foundation::fatal_stop(foundation::ld_line({"ipp,maxpnt=", nt, foundation::ld_int(maxpnt)}));
    }
    const int N = static_cast<int>(Nf);
    return std::fmax(4.0 * A.sstpma, span / double(maxpnt - N));
}

// The trial point below the current one, cur: the largest of the range's
// start a, s - dsmax (from Slow on), a step of the distance to the observer
// (R behind the nearest point s0, R^2/(2 (s - s0)) ahead of it) and the step
// that advances the retarded time by sigmat; then shortened until the
// retarded time advances by at most 1.1 sigmat.
Probe trial_point(Context& cx, double t, const V3& r, double a, double s0, double dsmax, const Probe& cur) {
    const double sigmat = cx.fbdata.sigmat;
    const double s = cur.s;
    double sp = a;
    if (s >= cx.acclim.Slow) sp = std::fmax(sp, s - dsmax);
    sp = std::fmax(sp, s < s0 ? s - cur.R : s - cur.R * cur.R / (2.0 * (s - s0)));
    sp = std::fmax(sp, s + sigmat / cur.dtau);
    if (!(sp < s)) sp = std::fmax(a, std::nextafter(s, -HUGE_VAL));  // no step below rounding
    Probe tr = probe(cx, sp, t, r);
    while (tr.tau - cur.tau > 1.1 * sigmat) {
        sp = std::fmax(sp, s + (sp - s) * sigmat / (tr.tau - cur.tau));
        tr = probe(cx, sp, t, r);
    }
    return tr;
}

// A straight/curved section edge between the current point cur and the
// trial point tr, sought in sub-steps of sstpma: at the first sub-step whose
// curvature differs from cur's, the bracket [elo, ehi] is bisected to
// max(Rintmi, relacc*R). False when there is none.
bool section_edge(Context& cx, double t, const V3& r, const Probe& cur, const Probe& tr, double& elo, double& ehi) {
    const auto& A = cx.acclim;
    const double s = cur.s, sp = tr.s;
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
            pthget(cx, mid, pm, bm);
            const bool curved = !pm.straight();
            if (curved == curved_s) hi = mid;
            else lo = mid;
        }
        elo = lo;
        ehi = hi;
        return true;
    }
    return false;
}

// The points of one range [a, b], from b down to a; last carries the
// probe of the last trial point from step to step (and range to range).
void walk_range(Context& cx, double t, const V3& r, double a, double b, double s0, double dsmax, Probe& last) {
    auto& S = cx.fsidat;
    push_point(cx, b);
    double s = b;
    do {
        // the current point and the trial point below it
        const Probe cur = (last.s == s) ? last : probe(cx, s, t, r);
        const Probe tr = trial_point(cx, t, r, a, s0, dsmax, cur);
        last = tr;
        // a straight/curved section edge between them
        double elo = 0.0, ehi = 0.0;
        const bool edge = s > cx.acclim.Slow && tr.s != s && section_edge(cx, t, r, cur, tr, elo, ehi);
        // the next point; across an edge the sliver is not integrated
        S.flag(S.n) = true;
        push_point(cx, edge ? ehi : tr.s);
        if (edge) {
            S.flag(S.n) = false;
            push_point(cx, elo);
        }
        s = S.X(S.n);
    } while (a < S.X(S.n));
    S.flag(S.n) = false;
}

}  // namespace

void wihelp(Context& cx, double s, double t, const V3& r, double& R, double& kappa2, double& tau, double& dtau) {
    PathPoint p;
    double beta;
    pthget(cx, s, p, beta);
    const double dx = r(1) - p.pos(1), dy = r(2) - p.pos(2), dz = r(3) - p.pos(3);
    R = std::sqrt(dx * dx + dy * dy + dz * dz + 1e-300);
    kappa2 = p.curv(1) * p.curv(1) + p.curv(2) * p.curv(2) + p.curv(3) * p.curv(3);
    tau = t - p.time() - R / clight;
    dtau = ((dx * p.tangent(1) + dy * p.tangent(2) + dz * p.tangent(3)) / R - 1.0 / beta) / clight;
}

// The source points of the event: over the source window, less the near
// zone's exclusions, about one point per sigmat of retarded time, closer
// where the observer is near, and a bracketed point pair at every
// straight/curved section edge; X decreasing within each range.
void wint0(Context& cx, double t, const V3& r) {
    cx.fsidat.n = 0;
    const double sigmat = cx.fbdata.sigmat;
    const double T = window_nsig(cx.setup) * sigmat;  // s; half length of the profile
    double s0, d, beta0;
    PathPoint p0;
    fsmget(cx, s0, d, p0, beta0);
    double s1, s2;
    f12get(cx, s1, s2);
    if (s1 >= s2) return;
    // ranges of the window, less the exclusions of the near zone
    double rhomin;
    const Ranges g = window_ranges(cx, s1, s2, d, rhomin);
    if (g.n == 0) return;
    const double dsmax = step_budget(cx, g, T, sigmat, rhomin);
    // the walk, from the last range to the first, each from its end down
    Probe last{std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0};
    for (int ir = g.n - 1; ir >= 0; --ir) walk_range(cx, t, r, g.a[ir], g.b[ir], s0, dsmax, last);
}

// The integral of the integrand over the flagged intervals of the source
// points by Boole's five-point rule, h (7 F0 + 32 F1 + 12 F2 + 32 F3 + 7 F4)/90
// per interval of length h, added to W.
void wint1(Context& cx, W15& W) {
    const auto& S = cx.fsidat;
    auto& F = cx.fs1dat;
    if (S.n <= 0) return;
    for (int j = 1; j <= 15; ++j) F.T(j) = 0.0;
    W15 Fv;
    for (int i = S.n; i >= 2; --i) {
        if (!S.flag(i - 1)) continue;
        const double h = S.X(i - 1) - S.X(i);
        double* Ii = F.I.col(i);
        for (int j = 0; j < 15; ++j) Ii[j] = 0.0;
        for (int k = 0; k <= 4; ++k) {
            cached_integrand(cx, S.X(i) + k * h / 4, Fv);
            const double ch = boole_weights[k] * h;
            for (int j = 0; j < 15; ++j) Ii[j] += ch * Fv.a[j];
        }
        for (int j = 1; j <= 15; ++j) F.T(j) += Ii[j - 1];
    }
    for (int j = 1; j <= 15; ++j) W(j) += F.T(j);
}

void cached_integrand(Context& cx, double s, W15& W) {
    auto& C = cx.cache;
    if (cx.fzdata.newev) {
        cx.fzdata.newev = false;
    } else if (s == C.SOLD) {
        W = C.FBOLD;
        return;
    }
    integrand(cx, s, W);
    C.SOLD = s;
    C.FBOLD = W;
}

// ---- the retarded integrand -------------------------------------------------
// The integrand of the line-charge element at path position s, per metre of
// path. With R = r - x(s) from the element to the observer, lam and lamdot =
// d lam/dt at the retarded time t - |R|/c, Lam = lam + |R| lamdot/c, t and k
// the path's tangent and curvature vector at s, beta_s the path particle's
// speed and beta, e the test particle's speed [c] and direction:
//   cB  = beta_s Lam (t x R)/|R|^3
//   F   = beta beta_s Lam ((e - t) x (t x R))/|R|^3 + (1 - beta beta_s) Lam R/|R|^3
//         - beta beta_s lam k/|R| + (beta - beta_s) lamdot t/(c |R|)
//   phi = lam/|R|,  A = beta_s lam t/(c |R|),  and the same two for lamdot
// [C/m^3 for F and cB, C/m^2 for phi; times 1/(4 pi eps0) and ds: V/m, V].
// These are the fields of the retarded potentials of the line current along
// the path, phi = Int lam(s, t - |R|/c)/|R| ds and A = Int beta_s t lam/(c |R|) ds
// (times 1/(4 pi eps0)), i.e. the Lienard-Wiechert fields of its charge
// elements (J. D. Jackson, Classical Electrodynamics, 3rd ed., Wiley 1999,
// sec. 14.1; in Jefimenko's form, ch. 6). F is the force per charge
// E + beta e x cB on the test particle, plus the path derivative
// -beta beta_s d(lam t/|R|)/ds, whose integral over the bunch vanishes on a
// path of constant speed: the large terms of two fast particles then cancel
// in closed form, the factors 1 - beta beta_s and beta - beta_s taken from
// their series in 1/gamma^2 where both are fast. F goes to W(1..3), cB to
// W(4..6), phi and A to W(7..10), their lamdot forms to W(11..14).

namespace {

// The line-charge element at path position s as the integrand sees it, for
// the observation event of the context (fzdata, fznear).
struct Element {
    PathPoint p;         // the path at s
    double beta_s;       // speed of the path particle there [c]
    double delta, rho_n; // m; s - s0 and the near-zone distance sqrt(delta^2 + d^2)
    V3 Rv;               // m; from the element to the observer
    double R, R3;        // m, m^3; |Rv| and its cube
    double N1, N2, N3;   // m; tangent x Rv
    double X1, X2, X3;   // m; (e - tangent) x N
    double F1, F2;       // velocity factors beta - beta_s and 1 - beta beta_s
    double lam, dlam;    // C/m, C/(m s); the line density at the retarded time and its time derivative
    double Lam;          // C/m; lam + R dlam/c
};

Element element_at(Context& cx, double s) {
    const auto& Z = cx.fzdata;
    const auto& N = cx.fznear;
    Element el;
    PathPoint& p = el.p;
    double& beta_s = el.beta_s;
    pthget(cx, s, p, beta_s);
    const double gamma_s = p.gamma();
    const double delta = s - N.s0;
    el.delta = delta;
    el.rho_n = std::sqrt(delta * delta + N.d * N.d);
    // the distance by its expansion about the nearest point where the
    // coordinates' rounding would swamp it
    V3& Rv = el.Rv;
    if (Z.rscale > 1e-6 * el.rho_n) {
        for (int i = 1; i <= 3; ++i) Rv(i) = N.rperp(i) + N.mt0(i) * delta + N.mhk(i) * (delta * delta);
    } else {
        for (int i = 1; i <= 3; ++i) Rv(i) = Z.r(i) - p.pos(i);
    }
    const double R = std::sqrt(Rv(1) * Rv(1) + Rv(2) * Rv(2) + Rv(3) * Rv(3));
    el.R = R;
    const double tt1 = p.tangent(1), tt2 = p.tangent(2), tt3 = p.tangent(3);
    el.N1 = tt2 * Rv(3) - tt3 * Rv(2);
    el.N2 = tt3 * Rv(1) - tt1 * Rv(3);
    el.N3 = tt1 * Rv(2) - tt2 * Rv(1);
    // velocity factors, by series where both particles are fast
    const double beta = Z.beta;
    if (gamma_s < 20.0 || Z.gamma < 20.0) {
        el.F1 = beta - beta_s;
        el.F2 = 1.0 - beta * beta_s;
    } else {
        const double u = 1.0 / (gamma_s * gamma_s), v = 1.0 / (Z.gamma * Z.gamma);
        el.F1 = 0.5 * (u - v) + 0.125 * (u * u - v * v);
        el.F2 = 0.5 * (u + v) + 0.125 * (u - v) * (u - v);
    }
    lambda(cx, s, Z.t - R / clight, el.lam, el.dlam);
    el.Lam = el.lam + R * el.dlam / clight;
    el.R3 = R * R * R;
    // (e - tt) x N
    const double m1 = Z.e(1) - tt1, m2 = Z.e(2) - tt2, m3 = Z.e(3) - tt3;
    el.X1 = m2 * el.N3 - m3 * el.N2;
    el.X2 = m3 * el.N1 - m1 * el.N3;
    el.X3 = m1 * el.N2 - m2 * el.N1;
    return el;
}

// The retarded field of the element outside the near-zone window: W(4..14)
// and the electric-type field E without its tangential term.
void far_terms(const Context& cx, const Element& el, W15& W, double E[3]) {
    const auto& Z = cx.fzdata;
    const PathPoint& p = el.p;
    const double beta = Z.beta, beta_s = el.beta_s;
    const double R = el.R, R3 = el.R3, lam = el.lam, dlam = el.dlam;
    const double cb = beta_s * el.Lam;
    const double ce = beta * beta_s * el.Lam;
    const double cl = beta * beta_s * lam;
    W(4) = cb * el.N1 / R3;
    W(5) = cb * el.N2 / R3;
    W(6) = cb * el.N3 / R3;
    E[0] = ce * el.X1 / R3;
    E[1] = ce * el.X2 / R3;
    E[2] = ce * el.X3 / R3;
    if (!Z.nogamma2) {
        const double cg = el.F2 * el.Lam;
        E[0] += cg * el.Rv(1) / R3;
        E[1] += cg * el.Rv(2) / R3;
        E[2] += cg * el.Rv(3) / R3;
    }
    if (!Z.notalman) {
        E[0] -= cl * p.curv(1) / R;
        E[1] -= cl * p.curv(2) / R;
        E[2] -= cl * p.curv(3) / R;
    }
    W(7) = lam / R;
    W(11) = dlam / R;
    for (int i = 1; i <= 3; ++i) {
        W(7 + i) = p.tangent(i) * beta_s * lam / (clight * R);
        W(11 + i) = p.tangent(i) * beta_s * dlam / (clight * R);
    }
}

// Inside the near-zone window: the retarded field of the element plus the
// leading near-zone approximation (with delta = s - s0 and rho_n =
// sqrt(delta^2 + d^2): numerators of first order in delta over rho_n^3 and
// rho_n), whose window integral fzcorr takes off again in closed form; the
// sum is regular at the nearest point.
void near_terms(const Context& cx, const Element& el, W15& W, double E[3]) {
    const auto& Z = cx.fzdata;
    const auto& N = cx.fznear;
    const PathPoint& p = el.p;
    const double beta = Z.beta, beta_s = el.beta_s;
    const double R = el.R, R3 = el.R3, lam = el.lam, dlam = el.dlam;
    const double delta = el.delta, rho_n = el.rho_n;
    const double cb = beta_s * el.Lam;
    const double ce = beta * beta_s * el.Lam;
    const double cl = beta * beta_s * lam;
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
    W(4) = cb * el.N1 / R3 + cp * TX[0] / rho3;
    W(5) = cb * el.N2 / R3 + cp * TX[1] / rho3;
    W(6) = cb * el.N3 / R3 + cp * TX[2] / rho3;
    E[0] = ce * el.X1 / R3 + cp2 * TK[0] / rho3;
    E[1] = ce * el.X2 / R3 + cp2 * TK[1] / rho3;
    E[2] = ce * el.X3 / R3 + cp2 * TK[2] / rho3;
    if (!Z.nogamma2) {
        const double cg = el.F2 * el.Lam, cq = Z.g2inv * Pq;
        E[0] += cg * el.Rv(1) / R3 + cq * Rx[0] / rho3;
        E[1] += cg * el.Rv(2) / R3 + cq * Rx[1] / rho3;
        E[2] += cg * el.Rv(3) / R3 + cq * Rx[2] / rho3;
    }
    if (!Z.notalman) {
        const double ck = beta * beta * Cl;
        E[0] += -cl * p.curv(1) / R - ck * N.kperp(1) / rho_n;
        E[1] += -cl * p.curv(2) / R - ck * N.kperp(2) / rho_n;
        E[2] += -cl * p.curv(3) / R - ck * N.kperp(3) / rho_n;
    }
    W(7) = lam / R + Cl / rho_n;
    W(11) = dlam / R + Ct / rho_n;
    for (int i = 1; i <= 3; ++i) {
        W(7 + i) = p.tangent(i) * beta_s * lam / (clight * R) - N.mt0(i) * beta * Cl / (clight * rho_n);
        W(11 + i) = p.tangent(i) * beta_s * dlam / (clight * R) - N.mt0(i) * beta * Ct / (clight * rho_n);
    }
}

}  // namespace

void integrand(Context& cx, double s, W15& W) {
    const auto& Z = cx.fzdata;
    const auto& N = cx.fznear;
    ++cx.counters.integrand_calls;
    const Element el = element_at(cx, s);
    const bool inside = N.inwin && !(s < N.s1) && !(s > N.s2);
    double E[3];
    if (!inside) far_terms(cx, el, W, E);
    else near_terms(cx, el, W, E);
    const double tt1 = el.p.tangent(1), tt2 = el.p.tangent(2), tt3 = el.p.tangent(3);
    const double F1 = el.F1, dlam = el.dlam, R = el.R;
    W(1) = E[0] + tt1 * F1 * dlam / (clight * R);
    W(2) = E[1] + tt2 * F1 * dlam / (clight * R);
    W(3) = E[2] + tt3 * F1 * dlam / (clight * R);
    // W(15) = W(4..6) . (e x rperp)
    const double y1 = Z.e(2) * N.rperp(3) - Z.e(3) * N.rperp(2);
    const double y2 = Z.e(3) * N.rperp(1) - Z.e(1) * N.rperp(3);
    const double y3 = Z.e(1) * N.rperp(2) - Z.e(2) * N.rperp(1);
    W(15) = W(4) * y1 + W(5) * y2 + W(6) * y3;
}

}  // namespace fieldlib
