// Images of the bunch between two conducting plates at +-hc/2 around the
// mid-plane: image bunches at vertical distances k*hc with alternating sign,
// summed up to the height hmax with a cosine taper. The near images get the
// full retarded evaluation; the distant ones, whose source window lies in
// the straight start of the path, are line charges on that straight line.
//
// The method of images (J. D. Jackson, Classical Electrodynamics, 3rd ed.,
// Wiley 1999, sec. 2.1): a line charge midway between two grounded
// conducting planes a distance hc apart has the images (-1)^k lam at the
// heights +-k hc, k = 1, 2, ...; the field between the planes is that of the
// bunch and all its images. The sum is cut at about hmax, each image
// weighted cos(pi k hc/(2 hmax)).
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "lattice/pthgen.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

// sqrt(3): see uturn in boole_walk.
constexpr double sqrt3 = 1.7320508075688772;

// The path at s, straight from the design path (no cache).
inline void path_at(Context& cx, double s, PathPoint& p) {
    lattice::path(cx.path, s, p);
    ++cx.counters.path_calls;
}

// Line-charge integrand of one image or all distant ones, sampled by an
// adaptive Boole rule over u, the longitudinal distance along the straight
// line from the observer's foot point: S7, S11, Ex, Ey, Ez.
using LineSums = double[5];

// Walks u from ulo to uhi in Boole steps whose length follows the distance
// scale sqrt(rho2/gamma^2 + u^2) (rho2 the squared distance of the nearest
// image line), at most hs; value(u, F) gives the five integrand values at u,
// and every point adds them times its weight to S. A point shared by two
// steps is evaluated once; its values are added with the weight of each.
template <class Value>
void boole_walk(double ulo, double uhi, double hs, double rho2, double gamma, LineSums& S, Value&& value) {
    // the smallest step: on the image line itself (rho2 = 0, u = 0) the
    // distance scale vanishes and the walk must still advance
    const double hmin = 1e-6 * hs;
    // the two step rules give the same step where sqrt(g) = -g/(2u), i.e.
    // 3 u^2 = rho2/gamma^2: behind that point the step follows -g/(2u)
    const double uturn = -std::sqrt(rho2) / (gamma * sqrt3);
    for (double& x : S) x = 0.0;
    LineSums F = {};
    double u = ulo;
    bool have_prev = false;
    double uprev = 0.0;
    while (u < uhi) {
        const double g = rho2 / (gamma * gamma) + u * u;
        double h = (u >= uturn) ? std::fmin(hs, std::sqrt(g)) : std::fmin(hs, -0.5 * g / u);
        if (!(h >= hmin)) h = hmin;
        for (int j = 0; j <= 4; ++j) {
            const double uj = u + 0.25 * j * h;
            const double wj = h * boole_weights[j];
            if (!(have_prev && uj == uprev)) {
                value(uj, F);
                uprev = uj;
                have_prev = true;
            }
            for (int i = 0; i < 5; ++i) S[i] += wj * F[i];
        }
        u = u + h;
    }
}

}  // namespace

// The taper weight of an image at the height x: cos(pi x/(2 xmax)).
double mirwin(double x, double xmax) { return std::cos(0.5 * pi * x / xmax); }

// One image as a line charge moving at the constant speed beta c of the path
// at s0 along the straight line through the path point there (tangent T):
// the retarded fields of its elements, integrated over u, the distance along
// the line from the observer's foot point, rho the observer's distance from
// the line and Rl = sqrt(u^2 + rho^2/gamma^2); the magnetic field of the
// uniform motion is cB = beta T x E (J. D. Jackson, Classical
// Electrodynamics, 3rd ed., Wiley 1999, ch. 11). W2 in V/m (scaled here).
void mircha(Context& cx, double t, const V3& r, const V3& e0, W15& W2, double s0) {
    const Setup& setup = cx.setup;
    PathPoint p;
    path_at(cx, s0, p);
    const double t0 = p.time(), gamma = p.gamma();
    const double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    const double v = clight * beta;
    const double T1 = p.tangent(1), T2 = p.tangent(2), T3 = p.tangent(3);
    double a = T1 * (r(1) - p.pos(1)) + T2 * (r(2) - p.pos(2)) + T3 * (r(3) - p.pos(3));
    const double d1 = r(1) - p.pos(1) - a * T1, d2 = r(2) - p.pos(2) - a * T2, d3 = r(3) - p.pos(3) - a * T3;
    const double rho2 = d1 * d1 + d2 * d2 + d3 * d3;
    a = a + s0;
    const double Tl = window_nsig(setup) * setup.sigmat;
    const double ulo = (t - Tl) * v - a, uhi = (t + Tl) * v - a;
    const double hs = 2.0 * v * setup.sigmat;
    const double g2 = gamma * gamma;
    LineSums S;
    boole_walk(ulo, uhi, hs, rho2, gamma, S, [&](double u, LineSums& F) {
        const double tau = t0 - ((u + a) / v - t);
        double lam, dlam;
        lambda(cx, s0, tau, lam, dlam);
        const double Rl = std::sqrt(rho2 / g2 + u * u);
        const double den = (u * u + rho2) / (beta * u + Rl);
        const double q = (u - beta * Rl) * g2;
        const double B = (dlam / clight + lam / den) / (den * Rl);
        F[0] = lam / Rl;
        F[1] = dlam / Rl;
        F[2] = (d1 - T1 * q) * B;
        F[3] = (d2 - T2 * q) * B;
        F[4] = (d3 - T3 * q) * B;
    });
    const double S7 = S[0] * fourpieps_inv, S11 = S[1] * fourpieps_inv;
    const double Ex = S[2] * fourpieps_inv, Ey = S[3] * fourpieps_inv, Ez = S[4] * fourpieps_inv;
    W2(4) = beta * (T2 * Ez - T3 * Ey);
    W2(5) = beta * (T3 * Ex - T1 * Ez);
    W2(6) = beta * (T1 * Ey - T2 * Ex);
    const double m1 = T1 - e0(1), m2 = T2 - e0(2), m3 = T3 - e0(3);
    W2(1) = Ex / g2 - beta * (m2 * W2(6) - m3 * W2(5));
    W2(2) = Ey / g2 - beta * (m3 * W2(4) - m1 * W2(6));
    W2(3) = Ez / g2 - beta * (m1 * W2(5) - m2 * W2(4));
    W2(7) = S7;
    W2(8) = S7 * beta * T1 / clight;
    W2(9) = S7 * beta * T2 / clight;
    W2(10) = S7 * beta * T3 / clight;
    W2(11) = S11;
    W2(12) = S11 * beta * T1 / clight;
    W2(13) = S11 * beta * T2 / clight;
    W2(14) = S11 * beta * T3 / clight;
}

// The images k..kmax together, as line charges on the horizontal straight
// line through the path point at s0: at each u one line density serves
// every image, at the vertical offsets +-kk hc, with its sign (-1)^kk and
// taper weight (one side, doubled, when observer and line lie in the
// mid-plane).
void mirmlt(Context& cx, double t, const V3& r, const V3& e0, W15& W2, double s0, int k, int kmax, double hc,
            double hmax) {
    const Setup& setup = cx.setup;
    for (int i = 1; i <= 14; ++i) W2(i) = 0.0;
    if (k > kmax) return;
    if (kmax > max_images) foundation::fatal_stop(" error in fld_mirror/mirmlt: more plate images than the limit");
    PathPoint p;
    path_at(cx, s0, p);
    const double t0 = p.time(), gamma = p.gamma();
    const double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    const double v = clight * beta;
    const double T1 = p.tangent(1), T2 = p.tangent(2);
    double a = T1 * (r(1) - p.pos(1)) + T2 * (r(2) - p.pos(2));
    const double d1 = r(1) - p.pos(1) - a * T1, d2 = r(2) - p.pos(2) - a * T2;
    const double rho2 = d1 * d1 + d2 * d2;
    a = a + s0;
    const double dz = r(3) - p.pos(3);
    const bool one_side = r(3) == 0.0 && p.pos(3) == 0.0;
    const double f = one_side ? 2.0 : 1.0, fz = one_side ? 0.0 : 1.0;
    const int nside = one_side ? 1 : 2;
    const double zk = (r(3) >= p.pos(3)) ? dz - k * hc : dz + k * hc;
    const double Tl = window_nsig(setup) * setup.sigmat;
    const double ulo = (t - Tl) * v - a, uhi = (t + Tl) * v - a;
    const double hs = 2.0 * v * setup.sigmat;
    const double g2 = gamma * gamma;
    // signed taper weight and offsets of each image, the same at every point
    auto& sw = cx.images.sw;
    auto& zo = cx.images.zo;
    for (int kk = k; kk <= kmax; ++kk) {
        sw[kk] = ((kk % 2 == 0) ? 1.0 : -1.0) * mirwin(kk * hc, hmax);
        for (int i = 1; i <= nside; ++i) zo[i - 1][kk] = ((i % 2 == 0) ? 1.0 : -1.0) * kk * hc + dz;
    }
    LineSums S;
    boole_walk(ulo, uhi, hs, rho2 + zk * zk, gamma, S, [&](double u, LineSums& F) {
        const double tau = t0 - ((u + a) / v - t);
        double lam, dlam;
        lambda(cx, s0, tau, lam, dlam);
        for (double& x : F) x = 0.0;
        for (int kk = k; kk <= kmax; ++kk) {
            for (int i = 1; i <= nside; ++i) {
                const double zoff = zo[i - 1][kk];
                const double D2 = zoff * zoff + rho2;
                const double Rl = std::sqrt(u * u + D2 / g2);
                const double Aw = sw[kk] * f / Rl;
                const double den = (D2 + u * u) / (beta * u + Rl);
                const double B = (lam / den + dlam / clight) / den * Aw;
                const double q = (u - beta * Rl) * g2;
                F[0] += lam * Aw;
                F[1] += dlam * Aw;
                F[2] += (d1 - T1 * q) * B;
                F[3] += (d2 - T2 * q) * B;
                F[4] += B * fz * zoff;
            }
        }
    });
    const double S7 = S[0] * fourpieps_inv, S11 = S[1] * fourpieps_inv;
    const double Ex = S[2] * fourpieps_inv, Ey = S[3] * fourpieps_inv, Ez = S[4] * fourpieps_inv;
    W2(4) = beta * T2 * Ez;
    W2(5) = -beta * T1 * Ez;
    W2(6) = beta * (T1 * Ey - T2 * Ex);
    W2(1) = Ex / g2 - (T2 - e0(2)) * W2(6) * beta;
    W2(2) = Ey / g2 + (T1 - e0(1)) * W2(6) * beta;
    W2(3) = Ez / g2 - ((T1 - e0(1)) * W2(5) - (T2 - e0(2)) * W2(4)) * beta;
    W2(7) = S7;
    W2(8) = S7 * beta * T1 / clight;
    W2(9) = S7 * beta * T2 / clight;
    W2(10) = 0.0;
    W2(11) = S11;
    W2(12) = S11 * beta * T1 / clight;
    W2(13) = S11 * beta * T2 / clight;
    W2(14) = 0.0;
}

namespace {

// The image sum of one field evaluation: the event, the plates, the number
// of images on each side K, and whether the mid-plane symmetry halves it.
struct ImageSum {
    double t;        // s
    double gamma0;
    const V3& e0;
    double hc, hmax; // m
    int K;
    bool sym;
};

// The straight start of the path: from sa = 2 Slow - Shigh, where the path
// is straight when its curvature is exactly 0 there, bisected towards Shigh
// down to the bunch length c sigmat while the midpoint still lies on the
// start's line and is straight. sst is its end (0 when the start is curved).
bool straight_start(Context& cx, double& sst) {
    const Acclim& acclim = cx.acclim;
    V3& RA = cx.start.RA;
    V3& EA = cx.start.EA;
    V3& RM = cx.start.RM;
    const double sa = 2.0 * acclim.Slow - acclim.Shigh;
    PathPoint p;
    path_at(cx, sa, p);
    const bool straight = p.straight();
    sst = 0.0;
    if (straight) {
        const double L = clight * cx.setup.sigmat;
        for (int i = 1; i <= 3; ++i) {
            RA(i) = p.pos(i);
            EA(i) = p.tangent(i);
        }
        double lo = sa, hi = acclim.Shigh;
        while (L < hi - lo) {
            const double mid = 0.5 * (lo + hi);
            path_at(cx, mid, p);
            for (int i = 1; i <= 3; ++i) RM(i) = p.pos(i);
            const double along = (RM(1) - RA(1)) * EA(1) + (RM(2) - RA(2)) * EA(2) + (RM(3) - RA(3)) * EA(3);
            const double kap = std::fmax(std::fabs(p.curv(1)), std::fmax(std::fabs(p.curv(2)), std::fabs(p.curv(3))));
            if ((lo - hi) * 1e-15 < along + lo - mid && kap == 0.0) {
                lo = mid;
                RA = RM;
            } else {
                hi = mid;
            }
        }
        sst = lo;
    }
    return straight;
}

// The near images, each by the full retarded evaluation at the observer
// shifted by -k hc (and +k hc), with sign (-1)^k and the taper weight, from
// k = 1 until k passes K or, on a straight start, until an image's source
// window lies wholly in it. Returns the first image left (k); sign is that
// image's sign.
int explicit_images(Context& cx, const ImageSum& im, V3& r, bool straight, double sst, W15& W, double& sign) {
    const double z0 = r(3), hc = im.hc;
    W15 WB2, WB3;
    int k = 1;
    for (;;) {
        const double w = mirwin(k * hc, im.hmax);
        double s1, s2;
        r(3) = z0 - k * hc;
        fsmin2(cx, r);
        freesp(cx, im.t, r, im.gamma0, im.e0, WB2, true);
        f12get(cx, s1, s2);
        if (!im.sym) {
            double s1b, s2b;
            r(3) = z0 + k * hc;
            fsmin2(cx, r);
            freesp(cx, im.t, r, im.gamma0, im.e0, WB3, true);
            f12get(cx, s1b, s2b);
            s2 = std::fmax(s2, s2b);
            for (int i = 1; i <= 15; ++i) W(i) += sign * w * (WB2(i) + WB3(i));
        } else {
            for (int i : {1, 2, 6, 7, 8, 9, 11, 12, 13}) W(i) += 2.0 * sign * w * WB2(i);
        }
        k = k + 1;
        if (k > im.K) break;
        sign = -sign;
        if (straight && s2 <= sst) break;
    }
    r(3) = z0;
    return k;
}

// The distant images k..K as line charges on the straight start: all in one
// integral when the start is horizontal (ez = 0), else one at a time.
void distant_images(Context& cx, const ImageSum& im, V3& r, int k, double sst, double ez, double sign, W15& W) {
    const double z0 = r(3), hc = im.hc;
    W15 WB2, WB3;
    if (ez == 0.0) {
        mirmlt(cx, im.t, r, im.e0, WB2, sst, k, im.K, hc, im.hmax);
        for (int i = 1; i <= 14; ++i) W(i) += WB2(i);
    } else {
        for (int kk = k; kk <= im.K; ++kk) {
            const double w = mirwin(kk * hc, im.hmax);
            r(3) = z0 - kk * hc;
            mircha(cx, im.t, r, im.e0, WB2, sst);
            if (!im.sym) {
                r(3) = z0 + kk * hc;
                mircha(cx, im.t, r, im.e0, WB3, sst);
                for (int i = 1; i <= 14; ++i) W(i) += sign * w * (WB2(i) + WB3(i));
            } else {
                for (int i : {1, 2, 6, 7, 8, 9, 11, 12, 13}) W(i) += 2.0 * sign * w * WB2(i);
            }
            sign = -sign;
        }
    }
    r(3) = z0;
}

}  // namespace

// The field of the bunch and its images between the plates (hc > 0, hmax >
// hc): W = W(bunch) + Sum_k (-1)^k cos(pi k hc/(2 hmax)) (W(image at -k hc)
// + W(image at +k hc)), k = 1..int(hmax/hc) + 1; each image's field at r is
// the bunch's own at r shifted by -+k hc.
void fldmir(Context& cx, double t, V3& r, double gamma0, const V3& e0, W15& W, double hc, double hmax,
            bool zsymmetry) {
    fsmin2(cx, r);
    freesp(cx, t, r, gamma0, e0, W, false);
    if (hc <= 0.0) return;
    if (std::fabs(hmax) <= hc) return;
    // int(hmax/hc) + 1 images a side: the last always lies beyond hmax, where
    // its taper cos(pi k hc/(2 hmax)) is negative (-0.105 at hc 0.02 m, hmax
    // 0.3 m: k = 16), and it enters with that weight. The one-dimensional
    // wake (forces csr4) stops at nint(hmax/hc) instead, its last image at
    // weight 0 when the ratio is whole.
    const double Kf = std::trunc(std::fabs(hmax / hc)) + 1.0;
    if (!(Kf <= max_images))
        foundation::fatal_stop(foundation::ld_line({"error in fld_mirror/fldmir: more than",
                                      foundation::ld_int(static_cast<long long>(max_images)),
                                      "plate images, hmax/hc=", foundation::ld_real(std::fabs(hmax / hc))}));
    const double Rintmi = cx.acclim.Rintmi;
    const ImageSum im{t, gamma0, e0, hc, hmax, static_cast<int>(Kf),
                      zsymmetry && std::fabs(r(3)) < Rintmi && std::fabs(e0(3)) < Rintmi};
    double sst;
    const bool straight = straight_start(cx, sst);
    // the vertical direction of the start (kept from an earlier call when
    // the start is curved)
    const double ez = cx.start.EA(3);
    double sign = -1.0;
    const int k = explicit_images(cx, im, r, straight, sst, W, sign);
    distant_images(cx, im, r, k, sst, ez, sign, W);
}

}  // namespace fieldlib
