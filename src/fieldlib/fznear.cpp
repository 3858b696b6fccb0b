// The near zone of an observation event: the geometry at the nearest path
// point, the cut-out interval around it and the expansion of the line
// density there (ziinit), and the closed-form integrals of the subtracted
// near-zone terms (fzcorr).
//
// Close to the path the integrand has a sharp peak at the nearest path point
// s0 (distance d), a pole in 1/rho^3 with rho = sqrt(delta^2 + d^2) and
// delta = s - s0. It is handled by singularity subtraction: to leading order
//   r - x(s0 + delta) = rperp + mt0 delta + mhk delta^2,
//   the retarded density  lam ~ a0 + a1 delta + a2 rho (lamdot: b0, b1, b2),
//   the field numerators  ~ p0 + q0 delta,
// and these terms, subtracted from the integrand inside the window, are
// integrated over it in closed form:
//   Int d(delta)/rho^3 = delta/(d^2 rho),  Int delta d(delta)/rho^3 = -1/rho,
//   Int delta^2 d(delta)/rho^3 = ln(delta + rho) - delta/rho,
//   Int d(delta)/rho = ln(delta + rho).
// With pole extraction the unretarded part at (s0, t), e0 = -lam and its
// derivatives e1..e5, is left out of these integrals: the transverse-size
// models supply it for a bunch of finite width.
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

inline double norm(const V3& a) { return std::sqrt(dot(a, a)); }

// (1e-4)^(1/3), as pow(1e-4, 1.0/3.0) gives it: the cut-out radius in rms
// bunch lengths at relacc = 1e-4, which it never exceeds at a coarser
// relacc.
constexpr double cutout_max_scale = 0.046415888336127795;

// 1/c^2 [s^2/m^2], the factor of the pole term e3 in the close limit.
constexpr double inv_c2 = 1.0 / clight / clight;
static_assert(inv_c2 == 1.1126500560536183e-17);

// The observation event: time, point, test particle.
void store_event(Fzdata& Z, double t, const V3& r, double gamma, const V3& e, double sigmat) {
    Z.t = t;
    Z.r = r;
    Z.gamma = gamma;
    Z.g2inv = 1.0 / (gamma * gamma);
    Z.beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    Z.betac = Z.beta * clight;
    Z.e = e;
    Z.sigmat = sigmat;
    Z.newev = true;
}

// The geometry at the nearest point x0 (tangent t0, curvature vector k):
// the observer's offset across the tangent rperp and the curvature across
// it kperp, the coefficients of R(delta) = rperp + mt0 delta + mhk delta^2
// (r - x(s0 + delta) to second order), and their vector products.
void near_geometry(Fznear& N, const PathPoint& p, const V3& r) {
    V3 dr, k;
    for (int i = 1; i <= 3; ++i) {
        N.t0(i) = p.tangent(i);
        k(i) = p.curv(i);
        dr(i) = r(i) - N.x0(i);
    }
    const double tdr = dot(N.t0, dr), tk = dot(N.t0, k);
    for (int i = 1; i <= 3; ++i) {
        N.rperp(i) = dr(i) - N.t0(i) * tdr;
        N.kperp(i) = k(i) - N.t0(i) * tk;
        N.mt0(i) = -N.t0(i);
        N.mhk(i) = -0.5 * N.kperp(i);
    }
    N.txr = cross(N.t0, N.rperp);
    N.kxr = cross(N.kperp, N.rperp);
    const V3 tk3 = cross(N.t0, N.kperp);
    for (int i = 1; i <= 3; ++i) N.htk(i) = 0.5 * tk3(i);
    N.txrk = cross(N.txr, N.kperp);
    N.kxrk = cross(N.kxr, N.kperp);
}

// The cubic coefficient of the line density's expansion: the mean, over the
// cut-out's ends s0 - w and s0 + w, of what the linear expansion misses,
// over w^2. The distance there is exact unless the coordinates' rounding
// would swamp it (then from the quadratic expansion about s0).
double cubic_coefficient(Context& cx, double t, const V3& r, double w, double rho) {
    const auto& Z = cx.fzdata;
    const auto& N = cx.fznear;
    const double s0 = N.s0;
    double v[2];
    for (int side = 0; side < 2; ++side) {
        const double del = side == 0 ? -w : w;
        const double s = s0 + del;
        PathPoint ps;
        double bs;
        pthget(cx, s, ps, bs);
        V3 rx, ts;
        for (int i = 1; i <= 3; ++i) {
            rx(i) = r(i) - ps.pos(i);
            ts(i) = ps.tangent(i);
        }
        const V3 m3 = cross(ts, rx);
        const double m = std::fmax(std::fabs(m3(1)), std::fmax(std::fabs(m3(2)), std::fabs(m3(3))));
        double R;
        if (Z.rscale <= 1e-6 * std::fmin(m, rho)) {
            R = norm(rx);
        } else {
            V3 Rd;
            for (int i = 1; i <= 3; ++i) Rd(i) = N.rperp(i) + N.mt0(i) * del + N.mhk(i) * (del * del);
            R = norm(Rd);
        }
        double lam, dlam;
        lambda(cx, s, t - R / clight, lam, dlam);
        v[side] = N.p0 + lam + (side == 0 ? -w : w) * N.q0 + R * dlam / clight;
    }
    return 0.5 * (v[0] + v[1]) / (w * w);
}

// The retarded expansion of the line density at the nearest point (seen at
// t - d/c), when that point lies inside the window; the near-zone window's
// lower end raised, and the cubic coefficient when the cut-out reaches into
// the window.
void line_expansion(Context& cx, double t, const V3& r, double sigmat, double w, double rho) {
    auto& N = cx.fznear;
    const auto& Z = cx.fzdata;
    const double s0 = N.s0, d = N.d;
    double l0, l1, l2, l3, ls0, ls1, ls2;
    lambd2(cx, s0, t - d / clight, l0, l1, l2, l3, ls0, ls1, ls2);
    N.a0 = -l0 - l1 * d / clight;
    N.a1 = -ls0;
    N.a2 = l1 / clight;
    N.b0 = -l1 - l2 * d / clight;
    N.b1 = -ls1;
    N.b2 = l2 / clight;
    N.p0 = N.a0;
    N.q0 = -ls0 - ls1 * d / clight;
    N.s1 = std::fmin(N.s2, std::fmax(N.s1, s0 - std::fmax(0.1 * (s0 - N.s1),
                                                           Z.beta * clight * window_nsig(cx.setup) * sigmat)));
    if (N.near) N.cubic = cubic_coefficient(cx, t, r, w, rho);
}

}  // namespace

// The near zone of the event (t, r) for a test particle of Lorentz factor
// gamma along e: the window and nearest point, the geometry at s0, the
// cut-out [s0 - w, s0 + w] within rho = 1e-10 |coordinates| + min(relacc,
// 1e-4)^(1/3) beta0 c sigmat of the observer, the retarded expansion of the
// line density, and the unretarded values for the pole extraction.
void ziinit(Context& cx, double t, const V3& r, double gamma, const V3& e, double sigmat, double relacc) {
    auto& Z = cx.fzdata;
    auto& N = cx.fznear;
    // 1. the event
    store_event(Z, t, r, gamma, e, sigmat);
    // 2. window and nearest point
    double s1, s2;
    f12get(cx, s1, s2);
    N.s1 = s1;
    N.s2 = s2;
    PathPoint p;
    double beta0;
    fsmget(cx, N.s0, N.d, p, beta0);
    const double s0 = N.s0, d = N.d;
    // 3.
    N.inwin = (s0 > N.s1) && (s0 < N.s2);
    // 4. precision scale
    for (int i = 1; i <= 3; ++i) N.x0(i) = p.pos(i);
    Z.rscale = 1e-16 * std::fmax(std::fmax(norm(r), norm(N.x0)), std::fmax(std::fabs(s0), d));
    // 5. geometry at s0
    near_geometry(N, p, r);
    // 6. cut-out radius
    const double pp = Z.rscale / 1e-6;
    const double u = beta0 * clight * sigmat;
    const double rho = std::fmin(pp + cutout_max_scale * u, pp + std::cbrt(relacc) * u);
    // 7.
    double w = 0.0;
    if (rho <= d) {
        N.near = false;
    } else {
        w = std::sqrt(rho * rho - d * d);
        N.sminus = s0 - w;
        N.splus = s0 + w;
        N.near = (N.s1 <= N.sminus && N.sminus <= N.s2) || (N.s1 <= N.splus && N.splus <= N.s2);
    }
    // 8. expansion of the line density at s0
    N.p0 = N.q0 = N.cubic = 0.0;
    if (N.inwin) line_expansion(cx, t, r, sigmat, w, rho);
    // 9. the unretarded values for the pole extraction
    if (N.extract) {
        double l0, l1, l2, l3, ls0, ls1, ls2;
        lambd2(cx, s0, t, l0, l1, l2, l3, ls0, ls1, ls2);
        N.e0 = -l0;
        N.e1 = -l1;
        N.e2 = -ls0;
        N.e3 = -l2;
        N.e4 = -ls2;
        N.e5 = -l3;
    }
}

void fziget(const Context& cx, Fzget& g) {
    const auto& N = cx.fznear;
    const auto& fzdata = cx.fzdata;
    g.e0 = N.e0;
    g.e1 = N.e1;
    g.e2 = N.e2;
    g.gamma = fzdata.gamma;
    g.rlog = N.rlog;
    g.rperp = N.rperp;
    g.t0 = N.t0;
    g.kperp = N.kperp;
    g.nogamma2 = fzdata.nogamma2;
    g.notalman = fzdata.notalman;
}

namespace {

// The five sums of the subtracted terms over the window (field SE,
// path-slope SQ, curvature SP, charge SC and time-derivative ST sums).
struct NearSums {
    double SE, SQ, SP, SC, ST;
};

NearSums window_sums(const Fznear& N, const Fzdata& Z) {
    const double d = N.d;
    NearSums S{0.0, 0.0, 0.0, 0.0, 0.0};
    const double G = 2.0 * std::log(1.0 / d);
    if (N.inwin) {
        if (!N.extract && !(d > 0.0))
            foundation::fatal_stop(" error in fld_z_int/fzcorr: observer on the path of a thin line "
                            "bunch (d = 0), where its field is singular");
        const double A1 = N.s1 - N.s0, A2 = N.s2 - N.s0;
        const double R1 = std::sqrt(A1 * A1 + d * d), R2 = std::sqrt(A2 * A2 + d * d);
        const double L = std::log((R1 - A1) * (R2 + A2) / 1.0);
        const double U = A1 / R1 - A2 / R2 + L;
        const double V = 1.0 / R1 - 1.0 / R2;
        const double K = 1.0 / ((A1 - R1) * R1) - 1.0 / ((R2 + A2) * R2);
        const double p0 = N.p0, q0 = N.q0;
        const double Ep = q0 * V + p0 * K;
        const double Qp = q0 * U + p0 * V;
        const double Pp = q0 * (R2 + d * d * (1.0 / R2 - 1.0 / R1) - R1) + p0 * U;
        const double Cp = N.a0 * L + N.a1 * (R2 - R1) + N.a2 * (A2 - A1);
        const double Tp = N.b0 * L + N.b1 * (R2 - R1) + N.b2 * (A2 - A1);
        if (!N.extract) {
            S.SE = Ep + 2.0 * p0 / (d * d);
            S.SQ = Qp + q0 * G;
            S.SP = Pp + p0 * G;
            S.SC = Cp + N.a0 * G;
            S.ST = Tp + N.b0 * G;
        } else if (d <= 0.01 * Z.betac * Z.sigmat) {
            const double H = (d / clight) * (d / clight) * std::log(d / 1.0 + 1e-300);
            S.SE = Ep - N.e3 * inv_c2;
            S.SQ = Qp + N.e4 * H;
            S.SP = Pp + N.e3 * H;
            S.SC = Cp + N.e3 * H;
            S.ST = Tp + N.e5 * H;
        } else {
            S.SE = Ep + 2.0 * (p0 - N.e0) / (d * d);
            S.SQ = Qp + (q0 - N.e2) * G;
            S.SP = Pp + (p0 - N.e0) * G;
            S.SC = Cp + (N.a0 - N.e0) * G;
            S.ST = Tp + (N.b0 - N.e1) * G;
        }
    } else if (d > 0.0 && N.e0 != 0.0) {
        S.SC = S.SP = -N.e0 * G;
        S.SE = -2.0 * N.e0 / (d * d);
        S.SQ = -N.e2 * G;
        S.ST = -N.e1 * G;
    }
    return S;
}

// The sums into the 15 components.
void add_window_sums(const Fznear& N, const Fzdata& Z, const NearSums& S, W15& W) {
    const double beta = Z.beta, g2inv = Z.g2inv;
    for (int i = 1; i <= 3; ++i)
        W(i + 3) = W(i + 3) - beta * (N.htk(i) * S.SP + N.kxr(i) * S.SQ + N.txr(i) * S.SE);
    for (int i = 1; i <= 3; ++i) {
        double E = W(i) - beta * beta * (N.kxrk(i) * S.SP + N.txrk(i) * S.SQ);
        if (!Z.nogamma2) E = E - g2inv * (N.mhk(i) * S.SP + N.mt0(i) * S.SQ + N.rperp(i) * S.SE);
        if (!Z.notalman) E = E + beta * beta * S.SC * N.kperp(i);
        W(i) = E;
    }
    W(7) = W(7) - S.SC;
    for (int i = 1; i <= 3; ++i) W(i + 7) = W(i + 7) + N.mt0(i) * (beta * S.SC / clight);
    W(11) = W(11) - S.ST;
    for (int i = 1; i <= 3; ++i) W(i + 11) = W(i + 11) + N.mt0(i) * (beta * S.ST / clight);
}

// The integrals over the cut-out interval of the cubic (curvature)
// correction terms, which the numerical integration leaves out.
void add_cutout(const Fznear& N, const Fzdata& Z, W15& W) {
    const double beta = Z.beta, g2inv = Z.g2inv;
    const double d = N.d;
    const double D = N.splus - N.s0;
    double Y, T1, T2, T3;
    if (D >= 1e20 * d) {
        Y = D * D;
        T1 = 0.0;
        T2 = 2.0 / 3.0;
        T3 = 0.0;
    } else {
        const double x = D / d, q = std::sqrt(x * x + 1.0);
        T1 = 2.0 * d * (std::log(q + x) - x / q);
        T2 = 2.0 * x * x * x / (3.0 * q * (x * x + 1.0));
        Y = d * (d * (x * x * x) / q - 1.5 * T1);
        T3 = T1 - d * T2;
    }
    const double M = 3.0 * dot(N.rperp, N.mhk) / (d + 1e-100);
    const double CE = (T2 * N.p0 * M + T1 * N.cubic) / (d + 1e-100);
    const double CQ = T3 * N.q0 * M;
    const double CP = T3 * N.p0 * M + N.cubic * Y;
    if (!Z.nogamma2)
        for (int i = 1; i <= 3; ++i)
            W(i) = W(i) + g2inv * (N.mhk(i) * CP + N.mt0(i) * CQ + N.rperp(i) * CE);
    for (int i = 1; i <= 3; ++i) W(i + 3) = W(i + 3) + beta * (N.htk(i) * CP + N.kxr(i) * CQ + N.txr(i) * CE);
}

}  // namespace

// The closed-form integrals of the subtracted near-zone terms over the
// window (the sums SE, SQ, SP, SC, ST, in C/m^3 and C/m^2 like the
// integrand's integral), and the cubic correction over the cut-out, added
// to W.
void fzcorr(Context& cx, W15& W) {
    auto& N = cx.fznear;
    const auto& Z = cx.fzdata;
    N.rlog = 1.0;
    if (N.inwin || N.extract) add_window_sums(N, Z, window_sums(N, Z), W);
    // 6. the cut-out interval
    if (N.near) add_cutout(N, Z, W);
}

}  // namespace fieldlib
