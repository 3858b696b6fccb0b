// One-dimensional CSR wake on lines and arcs: the walk back along the (s, r)
// table, the integration of each piece, the plate images and the coarse
// grid with its spline.
#include "forces/csr1d.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "fieldlib/fldtypes.hpp"
#include "forces/gauss.hpp"
#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/math.hpp"
#include "foundation/platform.hpp"

namespace forces {

namespace {

using foundation::pi;
// 4 pi eps0 sqrt(2 pi) in SI units
constexpr double four_pi_eps0_sqrt2pi = 2.7890000902742743e-10;
// Bisections halve a bracket at most this often (a bracket of any length
// shrinks to adjacent reals long before), so they always end.
constexpr int max_bisect = 200;
// Distances of the observer from a straight below this many sigma count as
// this many sigma in the integration variable (an observer on the extension
// of an earlier straight has distance 0).
constexpr double rho_floor_sigma = 1e-9;
// The cube roots of the arc pieces (foundation::arc_slip): the nodes of
// the observer's own arc with a full 1/3; the first step of an arc behind
// it, (24 R^2 dx)^(1/3), with the exponent to 8 digits, which is kept as it
// stands: the step, and so every node and the wake to its last digits,
// follows from it.
constexpr double one_third = 1.0 / 3.0;
static_assert(one_third == 0.3333333333333333);
constexpr double cube_root_8_digits = 0.33333333;

// Integer part towards zero of a real, as a real, clamped to [lo, hi]
// (a NaN gives lo): index bounds without integer overflow.
double trunc_clamped(double v, double lo, double hi) {
    if (!(v > lo)) return lo;
    if (!(v < hi)) return hi;
    return std::trunc(v);
}

// Number of equal steps int(span) + 1 of a range, span = range / step.
long long step_count(double span) {
    return static_cast<long long>(trunc_clamped(span, 0.0, 2.0e9)) + 1;
}

// Middle of the final bracket of a bisection of an increasing tau for the
// value target on [lo, hi], halved until narrower than tol.
template <class Tau>
double bisect(const Tau& tau, double lo, double hi, double target, double tol) {
    for (int it = 0; it < max_bisect && hi - lo >= tol; ++it) {
        const double mid = 0.5 * (lo + hi);
        if (tau(mid) > target) hi = mid;
        else lo = mid;
    }
    return 0.5 * (lo + hi);
}

// One node of a Simpson rule deposited at its retarded offset.
void deposit(double a, double tau, const WalkCtx& c, std::span<double> vals) { esum_fast(a, tau, c, vals); }

bool finite(double v) { return std::isfinite(v); }

// The block can be computed: sigma > 0, gamma >= 1, every value finite.
bool block_ok(const WakePars& E) {
    return finite(E.sigma) && E.sigma > 0.0 && finite(E.gamma) && E.gamma >= 1.0 && finite(E.s1) &&
           finite(E.x_first) && finite(E.x_last) && finite(E.y);
}

}  // namespace

namespace {

// Points of esum with |u| <= 5 (one more at each end, as the integer parts
// fall), clipped to 1..n: k1 > k2 when there is none.
void esum_range(double u0, double du, int n, int& k1, int& k2) {
    double klo, khi;
    if (du > 0.0) {
        klo = trunc_clamped((-5.0 - u0) / du, 1.0, n + 1.0);
        khi = trunc_clamped((5.0 - u0) / du, -1.0, double(n)) + 1.0;
    } else {
        klo = trunc_clamped((5.0 - u0) / du, 1.0, n + 1.0);
        khi = trunc_clamped((-5.0 - u0) / du, -1.0, double(n)) + 1.0;
    }
    k1 = static_cast<int>(std::max(klo, 1.0));
    k2 = static_cast<int>(std::min(khi, double(n)));
}

}  // namespace

void esum_fast(double a, double x0, const WalkCtx& c, std::span<double> W) {
    if (!c.gfast) return esum(a, x0, c.sigma, c.xa, c.xb, W);
    const int n = static_cast<int>(W.size());
    const double amp = a * c.sigma;
    const double step = (c.xb - c.xa) / (n - 1);
    const double du = step / c.sigma;
    const double u0 = (c.xa - step + x0) / c.sigma;
    int k1 = 0, k2 = 0;
    esum_range(u0, du, n, k1, k2);
    const int nt = k2 - k1 + 1;
    if (nt <= 0) return;
    // u(k) = du (k - ks): the centre ks, its nearest point K, offset f
    const double ks = -u0 / du;
    // (a centre beyond any int, from points far closer than sigma: directly)
    if (!(std::fabs(ks) < 1e9)) return esum(a, x0, c.sigma, c.xa, c.xb, W);
    const double K = gauss::nint_fast(ks), f = ks - K;
    const int mlo = k1 - int(K);
    double vals[2 * gauss::tmax + 8];
    if (!gauss::samples_ok(f, std::fabs(du), mlo, nt)) return esum(a, x0, c.sigma, c.xa, c.xb, W);
    gauss::samples(f, std::fabs(du), mlo, nt, c.gtab, vals);
    for (int j = 0; j < nt; ++j) {
        // the samples hold exp(-v^2/2) at v = (k - ks) du; u(k) as esum
        // forms it differs from v by the rounding r of u0 (up to 1e-12 far
        // from the first point), taken to first order: exp(-u^2/2) =
        // exp(-v^2/2) (1 - v r) to 1e-20
        const double u = u0 + (k1 + j) * du;
        const double v = (double(k1 + j - int(K)) - f) * du;
        W[std::size_t(k1 - 1 + j)] += -u * (vals[j] * (1.0 - v * (u - v))) * amp;
    }
}

// The deposit of one integration node of weight a at the retarded offset
// x0 = tau: W(k) += a sigma (-u exp(-u^2/2)), u = (x0 - x_k)/sigma, which
// after the scale of csr3 is a/(4 pi eps0) times the derivative of the
// normalised Gaussian line density lambda'(tau - x_k) [1/m^2]; |u| <= 5.
void esum(double a, double x0, double sigma, double xa, double xb, std::span<double> W) {
    const int n = static_cast<int>(W.size());
    if (n < 1) return;
    const double amp = a * sigma;
    if (n == 1) {
        const double u = (xa + x0) / sigma;
        W[0] += -u * std::exp(-u * u / 2.0) * amp;
        return;
    }
    const double step = (xb - xa) / (n - 1);
    const double du = step / sigma;
    const double u0 = (xa - step + x0) / sigma;
    if (du == 0.0) {
        const double t = -u0 * std::exp(-u0 * u0 / 2.0) * amp;
        for (double& w : W) w += t;
        return;
    }
    int k1 = 0, k2 = 0;
    esum_range(u0, du, n, k1, k2);
    for (int k = k1; k <= k2; ++k) {
        const double u = u0 + k * du;
        W[std::size_t(k - 1)] += -u * std::exp(-u * u / 2.0) * amp;
    }
}

// The integrand of the wake at one source point, the factor of lambda' in
//   w(x) = 1/(4 pi eps0) integral K1(s) lambda'(tau(s) - x) ds,
// the longitudinal retarded field of the line charge on the observer
// written as an integral over the source's path: with n = d/R the unit vector
// from the observer to the source, v the source's unit tangent, m = -n.v,
// kappa = 1 - beta m and tau = s + beta R,
//   K1 = Q/R + T [1/m],  Q = beta (m - (1 - v_x) beta + n_x) - 1/gamma^2,
//   T = kappa/(gamma^2 (-tau)) in free space, kappa/(gamma^2
//   sqrt(tau^2 + y^2/gamma^2)) for a source at the vertical distance y.
void kernel(double s, const double d[2], double R, const double v[2], double beta, double g2, double& K1,
            double& K2, double& kappa, bool plates, double y) {
    if (R <= 1e-100) {
        K1 = K2 = 0.0;
        kappa = 1.0;
        return;
    }
    const double nx = d[0] / R, ny = d[1] / R;
    const double m = -(nx * v[0] + ny * v[1]);
    kappa = 1.0 - beta * m;
    const double T = plates ? kappa * g2 / std::sqrt((s + beta * R) * (s + beta * R) + y * y * g2)
                            : kappa * g2 / (-(s + beta * R));
    const double Q = beta * (m - (1.0 - v[0]) * beta + nx) - g2;
    K1 = Q / R + T;
    K2 = R * T + Q;
}

// The observer's own arc in free space: a source at the path offset s < 0
// lies at the chord 2R sin(-s/(2R)), its retarded offset tau = s + beta
// |2R sin(s/(2R))| (about s^3/(24 R^2), the slippage on the arc), and its
// integrand has the closed form
//   F(s) = (beta^2/R) sin(s/(2R)) (1 - (4R^2/gamma^2)/(s^2 + 12 R^2/gamma^2)) [1/m];
// Simpson nodes equally spaced in u = s^3/(24 R^2). Deep in a long arc this
// gives the steady-state CSR wake of a Gaussian line charge (E. L. Saldin,
// E. A. Schneidmiller, M. V. Yurkov, "On the coherent radiation of an
// electron bunch moving in an arc of a circle", Nucl. Instrum. Methods A 398
// (1997) 373), at the entrance of the arc its transient.
void thisac(Walk& w, double len, double R, const WalkCtx& c, std::span<double> vals) {
    w.s = -len;
    const double sh = std::sin(w.s / (2.0 * R));
    w.p[0] = R * std::sin(w.s / R);
    w.p[1] = -2.0 * R * sh * sh;
    w.t[0] = std::cos(w.s / R);
    w.t[1] = -std::sin(w.s / R);
    // retarded offset of the source at s: s + beta * chord
    auto tau = [&](double s) { return s + c.beta * std::fabs(2.0 * R * std::sin(s / (2.0 * R))); };
    const double tw = tau(w.s);
    w.cont = tw > c.xlo;
    if (!(tw < c.xhi)) return;
    const double tol = 0.01 * c.sigma;
    const double s_hi = c.xhi >= 0.0 ? 0.0 : bisect(tau, w.s, 0.0, c.xhi, tol);
    const double s_lo = w.cont ? w.s : bisect(tau, w.s, s_hi + tol, c.xlo, tol);
    if (!(s_lo < s_hi)) return;

    // nodes equally spaced in u = s^3/(24 R^2), about the retarded offset
    const double r24 = foundation::arc_slip * R * R;
    const double ulo = s_lo * s_lo * s_lo / r24;
    const double uhi = s_hi * s_hi * s_hi / r24;
    const long long N = step_count((uhi - ulo) / c.dx);
    auto node = [&](long long i) {
        return -std::pow(std::fabs(ulo + double(i) * (uhi - ulo) / double(N)) * r24, one_third);
    };
    // field per unit path length of the source at s on the observer's arc
    const double b2r = c.beta * c.beta / R;
    const double a4 = 4.0 * R * R * c.g2, a12 = 12.0 * R * R * c.g2;
    auto F = [&](double s) { return b2r * std::sin(s / (2.0 * R)) * (1.0 - a4 / (s * s + a12)); };

    double s_a = node(0);
    double f_a = F(s_a);
    double wcarry = 0.0;  // weight the shared end node has from the step before
    for (long long i = 1; i <= N; ++i) {
        const double s_b = node(i);
        const double s_m = 0.5 * (s_a + s_b);
        const double h6 = (s_b - s_a) / 6.0;
        deposit((wcarry + h6) * f_a, tau(s_a), c, vals);
        deposit(4.0 * h6 * F(s_m), tau(s_m), c, vals);
        wcarry = h6;
        s_a = s_b;
        f_a = F(s_b);
    }
    deposit(wcarry * f_a, tau(s_a), c, vals);
}

// An arc of signed radius R behind the walk point, at any vertical
// distance y: the source's position and tangent from the arc's geometry,
// the integrand K1 of kernel, Simpson steps in s of at most (24 R^2 dx)^(1/3)
// (the path whose slippage on the arc is dx) and dx/kappa, shortened where
// tau would advance by more than 1.1 dx. The radiation of earlier bends that
// catches up with the bunch on a following straight (the transient wake of
// Saldin, Schneidmiller and Yurkov, Nucl. Instrum. Methods A 398 (1997) 373)
// comes from these pieces and the straights between them.
void arc(Walk& w, double len, double R, const WalkCtx& c, std::span<double> vals) {
    const double s_old = w.s, px = w.p[0], py = w.p[1], cx = w.t[0], cy = w.t[1];
    const double th0 = s_old / R + std::atan2(cy, cx);
    auto pos = [&](double s, double& x, double& y) {
        const double dl = s - s_old;
        const double a = R * std::sin(dl / R);
        const double sh = std::sin(dl / (2.0 * R));
        const double b = 2.0 * R * sh * sh;
        x = px + a * cx + b * cy;
        y = py + a * cy - b * cx;
    };
    auto tangent = [&](double s, double& x, double& y) {
        x = std::cos(th0 - s / R);
        y = std::sin(th0 - s / R);
    };
    auto dist = [&](double s) {
        double x, y;
        pos(s, x, y);
        return std::sqrt(x * x + y * y + c.y * c.y);
    };
    auto tau = [&](double s) { return s + c.beta * dist(s); };

    const double s_new = s_old - len;
    pos(s_new, w.p[0], w.p[1]);
    tangent(s_new, w.t[0], w.t[1]);
    w.s = s_new;
    const double tn = tau(s_new);
    w.cont = tn > c.xlo;
    if (!(tn < c.xhi)) return;
    const double tol = 0.01 * c.sigma;
    const double s_hi = tau(s_old) <= c.xhi ? s_old : bisect(tau, s_new, s_old, c.xhi, tol);
    const double s_lo = w.cont ? s_new : bisect(tau, s_new, s_hi + tol, c.xlo, tol);
    if (!(s_lo < s_hi)) return;

    const bool plates = c.y > 0.0;
    // kernel at s: K1, kappa and the retarded offset
    auto eval = [&](double s, double& K1, double& kap, double& t) {
        double d[2], v[2], K2;
        pos(s, d[0], d[1]);
        tangent(s, v[0], v[1]);
        const double Rs = std::sqrt(d[0] * d[0] + d[1] * d[1] + c.y * c.y);
        kernel(s, d, Rs, v, c.beta, c.g2, K1, K2, kap, plates, c.y);
        t = s + c.beta * Rs;
    };
    const double d0 = std::pow(foundation::arc_slip * R * R * c.dx, cube_root_8_digits);
    double s_a = s_lo, K_a, kap_a, t_a;
    eval(s_a, K_a, kap_a, t_a);
    double wcarry = 0.0;
    for (;;) {
        const double ds = std::min(c.dx / kap_a, d0);
        double s_b = std::min(s_a + ds, s_hi);
        const double tb = tau(s_b);
        if (tb - t_a > 1.1 * c.dx) s_b = s_a + c.dx * (s_b - s_a) / (tb - t_a);
        if (!(s_b > s_a)) break;  // no step left in floating point
        double K_b, kap_b, t_b, K_m, kap_m, t_m;
        eval(s_b, K_b, kap_b, t_b);
        eval(0.5 * (s_a + s_b), K_m, kap_m, t_m);
        const double h6 = (s_b - s_a) / 6.0;
        deposit((wcarry + h6) * K_a, t_a, c, vals);
        deposit(4.0 * h6 * K_m, t_m, c, vals);
        wcarry = h6;
        s_a = s_b;
        K_a = K_b;
        kap_a = kap_b;
        t_a = t_b;
        if (s_b >= s_hi) break;
    }
    deposit(wcarry * K_a, t_a, c, vals);
}

namespace {

// A straight piece as the observer sees it: a point (px, py) of it at the
// path offset s0 and its direction (tx, ty); s_f the path offset of the
// foot of the perpendicular from the observer, rho2 the squared distance of
// the observer from the line (the vertical distance y included).
struct StraightView {
    double s0, px, py, tx, ty;
    double s_f, rho2;
    // distance from the observer to the source at s (y included)
    double dist(double s) const { return std::sqrt((s - s_f) * (s - s_f) + rho2); }
    // the source point whose retarded offset s + beta dist(s) is tau; the
    // rationalised form where the plain one would cancel (tau beyond the
    // foot)
    double s_of(double tau, const WalkCtx& c) const {
        const double T = tau - s_f;
        const double r = std::sqrt(T * T + rho2 * c.g2);
        const double a = T > 0.0 ? (T * T - c.beta * c.beta * rho2) / (T + c.beta * r) : (T - c.beta * r) * c.gam2;
        return s_f + a;
    }
};

// The Simpson rule of a straight piece from s_lo (retarded offset tau_lo)
// up to the retarded offset tau_hi, in the variable Lambda = ln(rho) +
// asinh((s - s_f)/rho) (the integrand K2 = R K1 of kernel is smooth in it,
// and it is finite also for an observer on the line's extension); nodes at
// steps of at most dx in tau, halved where the source comes closer to the
// observer than the step.
void line_nodes(const StraightView& v, double s_lo, double tau_lo, double tau_hi, const WalkCtx& c,
                std::span<double> vals) {
    const double beta = c.beta;
    const double rho = std::max(std::sqrt(v.rho2), rho_floor_sigma * c.sigma);
    const double lnrho = std::log(rho);
    auto lam = [&](double s) { return lnrho + std::asinh((s - v.s_f) / rho); };
    auto s_of_lam = [&](double L) { return v.s_f + rho * std::sinh(L - lnrho); };
    const bool plates = c.y > 0.0;
    const double t[2] = {v.tx, v.ty};
    auto K2at = [&](double s) {
        const double d[2] = {v.px + v.tx * (s - v.s0), v.py + v.ty * (s - v.s0)};
        double K1, K2, kap;
        kernel(s, d, v.dist(s), t, beta, c.g2, K1, K2, kap, plates, c.y);
        return K2;
    };

    const double dtau = (tau_hi - tau_lo) / double(step_count((tau_hi - tau_lo) / c.dx));
    double s_a = s_lo, t_a = tau_lo, L_a = lam(s_lo), K_a = K2at(s_lo);
    double wcarry = 0.0;
    for (;;) {
        double t_b = std::min(t_a + dtau, tau_hi);
        double s_b = v.s_of(t_b, c);
        if (v.dist(s_b) < s_b - s_a) {  // close to the observer: half the step
            s_b = 0.5 * (s_a + s_b);
            t_b = s_b + beta * v.dist(s_b);
        }
        if (!(t_b > t_a) || !(s_b > s_a)) break;  // no step left in floating point
        const double L_b = lam(s_b);
        const double s_m = s_of_lam(0.5 * (L_a + L_b));
        const double h6 = (L_b - L_a) / 6.0;
        deposit((wcarry + h6) * K_a, t_a, c, vals);
        deposit(4.0 * h6 * K2at(s_m), s_m + beta * v.dist(s_m), c, vals);
        wcarry = h6;
        s_a = s_b;
        t_a = t_b;
        L_a = L_b;
        K_a = K2at(s_b);
        if (t_b >= tau_hi) break;
    }
    deposit(wcarry * K_a, t_a, c, vals);
}

}  // namespace

// The walk point moves back over the straight; the part whose retarded
// offsets tau(s) = s + beta R(s) lie in the window [xlo, xhi] is integrated
// (line_nodes), from s_lo (the new walk point, or tau = xlo) to s_hi (the
// old one, or tau = xhi).
void line(Walk& w, double len, bool infinite, const WalkCtx& c, std::span<double> vals) {
    const double s_old = w.s, px = w.p[0], py = w.p[1], tx = w.t[0], ty = w.t[1];
    const double beta = c.beta;
    const double pt = px * tx + py * ty;
    const double qx = px - pt * tx, qy = py - pt * ty;
    // the foot of the perpendicular, the squared distance of the observer
    const StraightView v{s_old, px, py, tx, ty, s_old - pt, qx * qx + qy * qy + c.y * c.y};
    const double tau_old = s_old + beta * std::sqrt(px * px + py * py + c.y * c.y);
    double tau_new = tau_old;
    if (!infinite) {
        w.s = s_old - len;
        w.p[0] = px - len * tx;
        w.p[1] = py - len * ty;
        tau_new = w.s + beta * std::sqrt(w.p[0] * w.p[0] + w.p[1] * w.p[1] + c.y * c.y);
        w.cont = tau_new > c.xlo;
        if (!(tau_new < c.xhi)) return;
    } else {
        w.cont = false;
    }
    double tau_hi, s_hi, tau_lo, s_lo;
    if (c.xhi < tau_old) {
        tau_hi = c.xhi;
        s_hi = v.s_of(c.xhi, c);
    } else {
        tau_hi = tau_old;
        s_hi = s_old;
    }
    if (w.cont) {
        tau_lo = tau_new;
        s_lo = w.s;
    } else {
        tau_lo = c.xlo;
        s_lo = v.s_of(c.xlo, c);
    }
    if (!(s_lo < s_hi)) return;
    line_nodes(v, s_lo, tau_lo, tau_hi, c, vals);
}

// The wake of a Gaussian line charge of rms sigma at the observer's path
// length s1 for one vertical source distance y: the walk from the observer
// back along the (s, r) table, piece by piece (thisac, arc, line, and the
// straight before the first row without end) until no retarded offset of a
// piece reaches the window of the wake points, then the sum of the deposits
// divided by 4 pi eps0 sqrt(2 pi) sigma^3 [V/m for a line charge of 1 C].
// 1 - beta is (0.5 + 0.125/gamma^2)/gamma^2 above gamma 500.
int csr3(SrTable tab, int nsect, WakePars& E, std::span<double> vals) {
    if (!block_ok(E)) return csr_bad_block;
    const double sigma = E.sigma, gamma = E.gamma, s1 = E.s1, y = E.y;
    const double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    const double omb = gamma > 500.0 ? (0.5 + 0.125 / (gamma * gamma)) / (gamma * gamma) : 1.0 - beta;
    WalkCtx c{};
    c.sigma = sigma;
    c.beta = beta;
    c.g2 = 1.0 / (gamma * gamma);
    c.gam2 = gamma * gamma;
    c.y = y;
    // the window holds the points in either order
    c.xlo = std::min(E.x_first, E.x_last) - 5.0 * sigma;
    c.xhi = std::max(E.x_first, E.x_last) + 5.0 * sigma;
    c.dx = 0.2 * sigma;
    c.xa = -E.x_first;
    c.xb = -E.x_last;
    const int n = static_cast<int>(vals.size());
    if (n >= 2) {  // point spacing in sigma, as the deposit takes it
        const double du = std::fabs(((c.xb - c.xa) / (n - 1)) / sigma);
        c.gfast = du > 0.0 && du <= 0.2 * (1.0 + 1e-9);
        if (c.gfast) gauss::fill_table(du, c.gtab);
    }

    const int rows = std::clamp(nsect + 1, 0, tab.rows());
    int k = 0;
    for (int j = 1; j <= rows; ++j)
        if (tab.s(j) < s1) k = j;
    E.done = 1.0;
    E.y_max = 0.0;
    std::fill(vals.begin(), vals.end(), 0.0);
    if (k == 0 || nsect <= 0) return csr_ok;

    Walk w;
    const double rk = tab.r(k);
    bool go = true;
    if (rk == 0.0) {
        const double L = s1 - tab.s(k);
        // the start of this straight has the latest retarded offset of all
        // that lies behind it: below the window, nothing reaches the points
        if (-omb * L < c.xlo) {
            go = false;
        } else {
            w.s = -L;
            w.p[0] = -L;
            w.p[1] = 0.0;
        }
    } else {
        if (y == 0.0) thisac(w, s1 - tab.s(k), rk, c, vals);
        else arc(w, s1 - tab.s(k), rk, c, vals);
        go = w.cont;
    }
    for (int j = k - 1; go && j >= 1; --j) {
        const double len = tab.s(j + 1) - tab.s(j);
        if (tab.r(j) == 0.0) line(w, len, false, c, vals);
        else arc(w, len, tab.r(j), c, vals);
        go = w.cont;
    }
    if (go) line(w, 0.0, true, c, vals);

    const double scale = four_pi_eps0_sqrt2pi * (sigma * sigma * sigma);
    for (double& v : vals) v /= scale;
    return csr_ok;
}

// Plate images: a line charge midway between two conducting plates p apart
// has images of alternating sign at the vertical distances k p above and
// below it (the method of images). The free-space wake plus, for
// k = 1 .. nint(pmax/p), the wake of the source at the distance k p weighted
// 2 (-1)^k cos(0.5 pi k p/pmax): both images of a pair, with a cosine taper
// that falls to 0 at the cut-off pmax and so smooths the truncation of the
// alternating sum.
int csr4(SrTable tab, int nsect, WakePars& E, std::span<double> vals, CsrWork& work) {
    if (vals.size() > std::size_t(nwkmax)) return csr_bad_block;
    const double p = E.y, pmax = E.y_max;
    const bool images = pmax > 0.0 && 0.0 < p && p < pmax;
    // the image count is checked in floating point before it is converted
    if (images && !(std::round(pmax / p) <= fieldlib::max_images)) return csr_many_images;
    E.y = 0.0;
    const int st = csr3(tab, nsect, E, vals);
    E.y = p;
    if (st != csr_ok || !images) return st;

    // nint(pmax/p) images a side: with a whole ratio the last sits at pmax,
    // taper cos(pi/2) = 0; a fraction of 0.5 or more rounds up, and that last
    // image lies beyond pmax with a negative taper (-0.063 at p 0.024 m, pmax
    // 0.3 m: k = 13). The field library sums int(pmax/p) + 1, its last beyond
    // pmax with a negative taper (-0.105 at p 0.02 m, pmax 0.3 m).
    const int kmax = static_cast<int>(std::round(pmax / p));
    WakePars& I = work.image_par;
    I = E;
    std::span<double> img(work.image, vals.size());
    for (int k = 1; k <= kmax; ++k) {
        I.y = k * p;
        if (int s = csr3(tab, nsect, I, img); s != csr_ok) return s;
        const double wk = 2.0 * (k % 2 == 0 ? 1.0 : -1.0) * std::cos(0.5 * pi * k * p / pmax);
        for (std::size_t i = 0; i < vals.size(); ++i) vals[i] += wk * img[i];
    }
    return csr_ok;
}

// The wake on points finer than 0.2 sigma: computed on a coarse grid of
// spacing about 0.2 sigma (one point beyond either end) and interpolated by
// a natural cubic spline; the wake varies on the scale of sigma.
int csr5(SrTable tab, int nsect, WakePars& E, std::span<double> vals, CsrWork& work) {
    if (E.done == 1.0) return csr_ok;
    const int n = static_cast<int>(vals.size());
    if (n < 1 || n > nwkmax || !block_ok(E)) return csr_bad_block;
    const double d = E.x_last - E.x_first;
    const double spacing = n > 1 ? d / (n - 1) : 0.0;
    const double c02 = 0.2 * E.sigma;
    auto direct = [&] { return csr4(tab, nsect, E, vals, work); };
    if (n <= 10 || std::fabs(spacing) >= c02) return direct();
    // coarse steps of at most 0.2 sigma; the magnitude, so that descending
    // points take the coarse grid too
    const double span = std::fabs(d) / c02;
    // more points than the coarse grid holds (a grid between plates) and
    // no finer than it: computed directly, as the coarse grid would not be
    // used (the capacity warning below is for a grid that needs it)
    if (n > cap::narcsr && double(n) <= std::trunc(span) + 4.0) return direct();
    if (std::trunc(span) + 2.0 > double(cap::narcsr)) {  // m + 2 > narcsr, m = int(span)
        const long long nnt = static_cast<long long>(std::min(span, 1e18)) + 2;
        foundation::stdout_line(foundation::ld_line({"warning from csr3: nnt.gt.narcsr"}));
        foundation::stdout_line(foundation::ld_line({"using csr2"}));
        foundation::stdout_line(foundation::ld_line({"nnt  =", foundation::ld_int(nnt)}));
        foundation::stdout_line(foundation::ld_line({"narcsr=", foundation::ld_int(cap::narcsr)}));
        foundation::stdout_line(foundation::ld_line({"narcsr in force1_params.inc"}));
        return direct();
    }
    const int m = static_cast<int>(span);
    if (n <= m + 4) return direct();

    const double hp = d / (m + 1);
    WakePars& C = work.coarse_par;
    C = E;
    C.done = 0.0;
    C.x_first = E.x_first - hp;
    C.x_last = E.x_last + hp;
    const int nc = m + 4;
    if (int st = csr4(tab, nsect, C, std::span<double>(work.coarse, std::size_t(nc)), work); st != csr_ok)
        return st;
    const std::span<const double> coarse(work.coarse, std::size_t(nc)), yss(work.yss, std::size_t(nc));
    foundation::cspli1(coarse, std::span<double>(work.yss, std::size_t(nc)),
                       std::span<double>(work.spl_u, std::size_t(nc)));
    for (int i = n; i >= 1; --i)
        foundation::cspli2(coarse, yss, ((i - 1) * spacing + hp) / hp + 1.0, vals[std::size_t(i - 1)]);
    E.done = 1.0;
    return csr_ok;
}

}  // namespace forces
