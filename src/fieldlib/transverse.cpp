// Transverse-size models of the sub-bunch (see transverse.hpp).
//
// Every model reduces the bunch's transverse profile to three quantities at
// the observer: the field shape G (a thin line: rperp/|rperp|^2), the
// potential term P (ln(|rperp|/rlog)) and the potential-weighted offset Qv
// (P*rperp); one common assembly turns them into the 15 components of W.
// Lengths in metres; e0, e1, e2 in C/m, C/(m s) and C/m^2; W is not yet
// scaled by 1/(4 pi eps0).
//
// The near zone of a line charge is two-dimensional: across the path the
// unretarded line density lam = -e0 acts like an infinite line, of potential
// -2 lam ln(rho/rlog) and field 2 lam rperp/rho^2 (times 1/(4 pi eps0)); a
// transverse profile replaces ln(rho) by its average over the profile (the
// two-dimensional Coulomb potential, convolved), which is finite on the
// path.
#include "fieldlib/transverse.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

V3 zero3() {
    V3 r;
    r.fill(0.0);
    return r;
}

// Nearest integer, halves away from zero. A value outside the integer range
// (or NaN) gives the smallest integer, which no model accepts.
std::int32_t nint(double v) {
    const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
    if (!(r > -2147483648.0 && r < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

std::string real_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.16g", v);
    return buf;
}

// Common assembly of the 15 components from G, P and Qv, with b the test
// particle's speed [c], t0 the tangent and kperp the curvature across it:
//   cB   = 2b (e2 kperp x Qv - e0 t0 x G - e0 P kperp x t0/2)
//   E    = -2b^2 kperp x ((e2 t0 + e0 kperp) x Qv) - 2 (e2 t0 + e0 kperp/2) P/gamma^2
//          - 2 e0 G/gamma^2 - 2b^2 e0 P kperp
//   phi  = 2 e0 P, A = 2b e0 P t0/c, and the same two with e1
// (the 1/gamma^2 terms dropped with nogamma2, the last E term with notalman).
void assemble(const Fzget& nz, const V3& G, double P, const V3& Qv, W15& W) {
    const double c = clight;
    const double g2 = 1.0 / (nz.gamma * nz.gamma);
    // gamma >= 1 for every test particle; the clamp only keeps rounding
    // (and a caller's gamma below 1) from producing a NaN
    const double b = std::sqrt(std::max(0.0, 1.0 - g2));
    const double e0 = nz.e0, e1 = nz.e1, e2 = nz.e2;
    const V3& t0 = nz.t0;
    const V3& kp = nz.kperp;

    const V3 kxq = cross(kp, Qv), txg = cross(t0, G), kxt = cross(kp, t0);
    for (int i = 1; i <= 3; ++i) W(3 + i) = 2.0 * b * (e2 * kxq(i) - e0 * txg(i) - 0.5 * e0 * P * kxt(i));

    V3 A;
    for (int i = 1; i <= 3; ++i) A(i) = e2 * t0(i) + e0 * kp(i);
    const V3 kaq = cross(kp, cross(A, Qv));
    for (int i = 1; i <= 3; ++i) {
        double E = -(2.0 * (b * b)) * kaq(i);
        if (!nz.nogamma2) E = E - 2.0 * g2 * ((e2 * t0(i) + 0.5 * e0 * kp(i)) * P + e0 * G(i));
        if (!nz.notalman) E = E - 2.0 * (b * b) * e0 * P * kp(i);
        W(i) = E;
    }

    W(7) = 2.0 * e0 * P;
    W(11) = 2.0 * e1 * P;
    for (int i = 1; i <= 3; ++i) {
        W(7 + i) = t0(i) * (2.0 * b / c) * e0 * P;
        W(11 + i) = t0(i) * (2.0 * b / c) * e1 * P;
    }
    W(15) = 0.0;
}

// Adds weight times the terms of a circular Gaussian of rms sigma centred
// at distance r (the observer's offset from the centre) to G, P and Qv. By
// Gauss's law the field at the distance rho is that of the charge inside,
// the fraction h1 = 1 - exp(-x^2/2) (x = rho/sigma): G = r h1/rho^2; the
// potential differs from the line's ln(rho) by h2 = E1(x^2/2)/2 (E1 the
// exponential integral, M. Abramowitz and I. A. Stegun, Handbook of
// Mathematical Functions, 1964, ch. 5): P = ln(rho/rlog) + h2,
// Qv = (ln(rho/rlog) + h3) r with h3 = h2 + h1/x^2.
void add_circular(const V3& r, double weight, double sigma, double rlog, V3& G, double& P, V3& Qv) {
    const double rho = std::sqrt(dot(r, r)) + 1e-200;
    const double x = rho / sigma;
    const double L = std::log(rho / rlog);
    const double h1 = h1conv(x);
    const double rho2 = rho * rho;
    for (int i = 1; i <= 3; ++i) {
        // rho^2 underflows only within 1e-162 m of the centre; (r/rho)/rho
        // then keeps G finite (and 0 at the centre itself)
        G(i) += rho2 > 0.0 ? weight * r(i) * h1 / rho2 : weight * r(i) * (h1 / rho) / rho;
    }
    P += weight * (L + h2conv(x));
    const double l3 = L + h3conv(x);
    for (int i = 1; i <= 3; ++i) Qv(i) += weight * l3 * r(i);
}

// The six Chebyshev tables of h1, h2, h3 (20 coefficients each).
constexpr int ncheb = 20;
constexpr double h1a[ncheb] = {  // [0, 3]
    1.11183020030641, 0.55452102292479, -0.0878835626194021, -0.0602362993581076,
    0.0288699555571575, -0.000246276673962804, -0.00256614625102612, 0.000446778263693602,
    0.000111618999851607, -4.18998990931568e-05, -1.31971065330772e-06, 2.25729359404706e-06,
    -1.56914065833929e-07, -8.28678843698413e-08, 1.31063915542182e-08, 2.07813857902805e-09,
    -6.0791696580624e-10, -2.70591541087573e-11, 2.07125035157717e-11, -4.5741218238475e-13};
constexpr double h1b[ncheb] = {  // [3, 6]
    1.99585428592061, 0.00371847508362957, -0.00268381697584722, 0.0015577148332215,
    -0.000723612935532958, 0.000265063285581402, -7.35996760150348e-05, 1.37533702051385e-05,
    -8.16654078583667e-07, -4.81794589901607e-07, 1.96676947927799e-07, -3.53293822752399e-08,
    1.0337596445531e-09, 1.17880452066288e-09, -3.18644699515147e-10, 2.85035162139735e-11,
    4.80546713532704e-12, -1.85611526148932e-12, 2.00853222942499e-13, 1.88113413734925e-14};
constexpr double h2a[ncheb] = {  // [0.001, 3]
    0.946006828468016, 0.55726522434404, 0.0424341957582964, -0.0375332775056728,
    0.00590693317351119, 0.00109207909630662, -0.000525649794807127, 2.10968023874989e-05,
    2.34369835041032e-05, -3.84045269616519e-06, -5.92667539945342e-07, 2.1606564901048e-07,
    2.3969330042253e-09, -7.94767052999567e-09, 5.59036762908279e-10, 2.12110563920299e-10,
    -3.20390004781796e-11, -4.87029537263359e-12, 1.07352117451913e-12, -1.87959599942066e-13};
constexpr double h2b[ncheb] = {  // [3, 6]
    0.0003576632521948, -0.00032555253953528, 0.000245709057763946, -0.000154065303725806,
    8.03883287577033e-05, -3.4894483448679e-05, 1.25446555710588e-05, -3.68932507716014e-06,
    8.62585842674392e-07, -1.49296915567733e-07, 1.47998495540302e-08, 8.41538601065346e-10,
    -6.58170878074012e-10, 1.19870792523839e-10, -4.01478768849786e-12, -3.29477988945601e-12,
    7.51746733439196e-13, -2.6884012052121e-13, 4.59449107448676e-13, -3.10752843542175e-13};
constexpr double h3a[ncheb] = {  // [0.001, 3]
    1.56018739310987, 0.343156392380212, 0.0444799178196208, -0.0179104973834435,
    0.00133475203529024, 0.000538878792033859, -0.000133931978273855, -4.38628152855114e-06,
    5.78852745954928e-06, -4.75308800079732e-07, -1.58088379309529e-07, 3.10258205071801e-08,
    2.39070792051876e-09, -1.15680073298208e-09, 2.54680998512669e-11, 2.4579482893472e-11,
    2.61477506313668e-12, -4.70439798228028e-12, 2.93998436706744e-12, -1.44617373631917e-12};
constexpr double h3b[ncheb] = {  // [3, 6]
    0.117787631859038, -0.0392252258902286, 0.00996508426078413, -0.00224830792434712,
    0.000469923527622826, -9.1655560642126e-05, 1.64532496082725e-05, -2.6276757581406e-06,
    3.50087529643606e-07, -3.35966068312765e-08, 1.11430502464094e-09, 2.69818911657893e-10,
    -2.67029884315484e-11, -1.27748665812444e-11, 5.36302460774074e-12, -1.08712899793417e-12,
    1.30413735366375e-13, -4.35380898000659e-15, -3.60995955350774e-15, 2.09676026541317e-15};

constexpr double sqrt2 = 1.4142135623730951;
constexpr double half_euler = 0.288607832450766;     // Euler's constant / 2
constexpr double half_m_euler = 0.211392167549234;   // 0.5 - Euler's constant / 2

// Ribbon density nodes: 101 equally spaced offsets t = u/sigma from -5 to
// +5 and the unnormalised Gaussian exp(-t^2/2) there.
constexpr int nnode = 101;
struct RibbonNodes {
    std::array<double, nnode> t, phi;
};
const RibbonNodes& ribbon_nodes() {
    static const RibbonNodes n = [] {
        RibbonNodes r{};
        for (int k = 0; k < nnode; ++k) {
            r.t[std::size_t(k)] = -5.0 + 0.1 * k;
            r.phi[std::size_t(k)] = std::exp(-0.5 * (r.t[std::size_t(k)] * r.t[std::size_t(k)]));
        }
        return r;
    }();
    return n;
}

}  // namespace

void fcoini(Fcdata& fcdata, std::string_view action, double value) {
    const std::string_view a = trimmed(action);
    if (a == "method") fcdata.method = nint(value);
    else if (a == "sigmaz") fcdata.sigmaz = value;
    else if (a == "sigmar") fcdata.sigmar = value;
    else if (a == "ex") fcdata.ex = value;
    else if (a == "ey") fcdata.ey = value;
    else if (a == "ez") fcdata.ez = value;
    else {
        foundation::stdout_line(" error in fld_conv/fcoini: unknown action");
        foundation::fatal_stop(std::string(" ") + std::string(action));
    }
    if (fcdata.method == 3 && (a == "method" || a == "sigmaz" || a == "sigmar")) {
        fcdata.lzgtr = fcdata.sigmaz > fcdata.sigmar;
        fcdata.sdiff = std::sqrt(std::fabs(fcdata.sigmaz * fcdata.sigmaz - fcdata.sigmar * fcdata.sigmar));
        fcdata.smin = fcdata.sigmaz < fcdata.sigmar ? fcdata.sigmaz : fcdata.sigmar;
    }
}

void fzsp(Fcdata& fcdata, const Fzget& nz, W15& W) {
    switch (fcdata.method) {
        case 0: fzsp0(fcdata, nz, W); break;
        case 1: fzsp1(fcdata, nz, W); break;
        case 2: fzsp2(fcdata, nz, W); break;
        case 3: fzsp3(fcdata, nz, W); break;
        default: foundation::fatal_stop(" error in fld_conv/fzSP: unknown method");
    }
}

// Thin line charge: G = rperp/|rperp|^2, P = ln(|rperp|/rlog), Qv = P rperp.
void fzsp0(Fcdata& fcdata, const Fzget& nz, W15& W) {
    fcdata.rlogc = nz.rlog;
    const double r2 = dot(nz.rperp, nz.rperp);
    // the field of a thin line is singular on the line itself
    if (!(r2 > 0.0) || !std::isfinite(r2))
        foundation::fatal_stop(" error in fld_z_in/fzSP0: observer on the path of a thin line, distance= " +
                        real_text(std::sqrt(r2)));
    V3 G, Qv;
    const double P = 0.5 * std::log(r2 / (nz.rlog * nz.rlog));
    for (int i = 1; i <= 3; ++i) {
        G(i) = nz.rperp(i) / r2;
        Qv(i) = P * nz.rperp(i);
    }
    assemble(nz, G, P, Qv, W);
}

// Gaussian ribbon of rms width sigmaz along (ex, ey, ez): the thin line's
// terms averaged over the ribbon's Gaussian density (icgral), with p the
// observer's offset along the ribbon and q its distance from the ribbon's
// plane: G = I1 qhat + I2 u, P = I3/(2q), Qv = (I3 qhat + I4 u)/2.
void fzsp1(Fcdata& fcdata, const Fzget& nz, W15& W) {
    fcdata.rlogc = nz.rlog;
    const V3& t0 = nz.t0;
    V3 u;
    u(1) = fcdata.ex;
    u(2) = fcdata.ey;
    u(3) = fcdata.ez;
    const double te = dot(t0, u);
    for (int i = 1; i <= 3; ++i) u(i) = u(i) - t0(i) * te;
    const double un = std::sqrt(dot(u, u));
    if (!(un > 0.0)) foundation::fatal_stop(" error in fld_z_in/fzSP1: ee-vect = e0-vect");
    for (int i = 1; i <= 3; ++i) u(i) = u(i) / un;

    const double p = dot(nz.rperp, u);
    V3 qv;
    for (int i = 1; i <= 3; ++i) qv(i) = nz.rperp(i) - p * u(i);
    const double q = std::sqrt(dot(qv, qv)) + 1e-100;
    fcdata.poff = p;
    fcdata.qdist = q;

    double I1, I2, I3, I4;
    icgral(fcdata, I1, I2, I3, I4);
    V3 G, Qv;
    for (int i = 1; i <= 3; ++i) {
        const double qhat = qv(i) / q;
        G(i) = I1 * qhat + I2 * u(i);
        Qv(i) = 0.5 * (I3 * qhat + I4 * u(i));
    }
    const double P = 0.5 * I3 / q;
    assemble(nz, G, P, Qv, W);
}

// Circular Gaussian of rms radius sigmaz (add_circular's terms).
void fzsp2(Fcdata& fcdata, const Fzget& nz, W15& W) {
    fcdata.rlogc = nz.rlog;
    V3 G = zero3(), Qv = zero3();
    double P = 0.0;
    add_circular(nz.rperp, 1.0, fcdata.sigmaz, nz.rlog, G, P, Qv);
    assemble(nz, G, P, Qv, W);
}

// Elliptical Gaussian (sigmar horizontal, sigmaz vertical): a circular
// Gaussian of rms smin smeared by a line Gaussian of rms sdiff =
// sqrt(|sigmaz^2 - sigmar^2|) along the long axis w (the convolution of two
// Gaussians adds their variances), summed over offsets u along w with the
// weights exp(-u^2/(2 sdiff^2)) (fine steps where the displaced centre
// passes the observer, coarse steps elsewhere).
void fzsp3(Fcdata& fcdata, const Fzget& nz, W15& W) {
    const double smin = fcdata.smin, sdiff = fcdata.sdiff;
    if (sdiff <= 0.1 * smin) {
        fzsp2(fcdata, nz, W);
        return;
    }
    fcdata.rlogc = nz.rlog;
    const V3& t0 = nz.t0;
    V3 w = zero3();
    if (fcdata.lzgtr) {
        w(3) = 1.0;
    } else {
        const double th = std::sqrt(t0(1) * t0(1) + t0(2) * t0(2));
        if (!(th > 0.0)) foundation::fatal_stop(" error in fld_z_in/fzSP3: path tangent is vertical, no horizontal axis");
        w(1) = -t0(2) / th;
        w(2) = t0(1) / th;
    }
    const double o = dot(nz.rperp, w);

    const double hc = 0.2 * sdiff;
    const double hf = 0.2 * std::min(sdiff, smin);
    // Both steps must be positive and finite, or the offsets never reach
    // +5 sdiff (sigmar given while sigmaz never was leaves smin = 0).
    if (!(smin > 0.0 && hf > 0.0 && std::isfinite(smin) && std::isfinite(hc)))
        foundation::fatal_stop(" error in fld_z_in/fzSP3: no positive offset step (sigmaz and sigmar must both be > 0), smin= " +
                        real_text(smin) + " sdiff= " + real_text(sdiff));
    const double lo = -o - 10.0 * smin, hi = -o + 10.0 * smin;
    const auto next = [&](double u) {
        if (u <= lo + hf - hc) return u + hc;
        if (u <= lo) return lo + hf;
        if (u <= hi - hf) return u + hf;
        return u + hc;
    };

    V3 G = zero3(), Qv = zero3();
    double P = 0.0, wsum = 0.0;
    double u = -5.0 * sdiff, uprev = u;
    for (;;) {
        const double unext = next(u);
        // a step below the rounding of u would repeat the same offset for ever
        if (!(unext > u))
            foundation::fatal_stop(" error in fld_z_in/fzSP3: offset step below rounding, smin= " + real_text(smin) +
                            " sdiff= " + real_text(sdiff));
        const double wt = 0.5 * (unext - uprev) * std::exp(-0.5 * ((u / sdiff) * (u / sdiff)));
        V3 r;
        for (int i = 1; i <= 3; ++i) r(i) = nz.rperp(i) + u * w(i);
        add_circular(r, wt, smin, nz.rlog, G, P, Qv);
        wsum += wt;
        if (!(u < 5.0 * sdiff)) break;
        uprev = u;
        u = unext;
    }
    for (int i = 1; i <= 3; ++i) {
        G(i) = G(i) / wsum;
        Qv(i) = Qv(i) / wsum;
    }
    P = P / wsum;
    assemble(nz, G, P, Qv, W);
}

double h1conv(double x) {
    if (x <= 0.0) return 0.0;
    if (x <= 0.0001) return 0.5 * (x * x);
    if (x <= 3.0) return chebev(0.0, 3.0, h1a, ncheb, x);
    if (x <= 6.0) return chebev(3.0, 6.0, h1b, ncheb, x);
    return 1.0;
}

double h2conv(double x) {
    if (x <= 0.0) return 0.0;
    if (x <= 0.001) return std::log(sqrt2 / x) - half_euler;
    if (x <= 3.0) return std::log(sqrt2 / x) - half_euler + chebev(0.001, 3.0, h2a, ncheb, x);
    if (x <= 6.0) return chebev(3.0, 6.0, h2b, ncheb, x);
    return 0.0;
}

double h3conv(double x) {
    if (x <= 0.0) return 0.0;
    if (x <= 0.001) return std::log(sqrt2 / x) + half_m_euler;
    if (x <= 3.0) return std::log(sqrt2 / x) - half_euler + chebev(0.001, 3.0, h3a, ncheb, x);
    if (x <= 6.0) return chebev(3.0, 6.0, h3b, ncheb, x);
    return 1.0 / (x * x);
}

double chebev(double a, double b, const double* c, int m, double x) {
    // outside [a, b] (or NaN) the series means nothing: no caller passes such an x
    if (!((x - a) * (x - b) <= 0.0)) foundation::fatal_stop(" x not in range in chebev");
    const double y = (2.0 * x - a - b) / (b - a);
    const double y2 = 2.0 * y;
    double d = 0.0, dd = 0.0;
    for (int j = m - 1; j >= 1; --j) {
        const double sv = d;
        d = y2 * d - dd + c[j];
        dd = sv;
    }
    return y * d - dd + 0.5 * c[0];
}

// Ribbon integrals. The density f(u) = exp(-u^2/(2 sigma^2))/(sqrt(2 pi) sigma),
// cut at +-5 sigma, is linear between 101 nodes; with y = u + p and
// rho^2 = q^2 + y^2 each piece [a, b] (h = b - a) is integrated in closed form
// with the weight f = f_a + (f_b - f_a)*(y - a)/h. Writing
//   Dat = atan(b/q) - atan(a/q) = atan2(h q, q^2 + a b),
//   Dlg = ln(q^2 + b^2) - ln(q^2 + a^2) = log1p(h (a + b)/(q^2 + a^2)),
// the integrals of g and of (y - a) g over the piece are
//   g = q/rho^2:     Dat;                 (q/2 Dlg - a Dat)
//   g = y/rho^2:     Dlg/2;               (h - q Dat - a/2 Dlg)
//   g = ln rho^2:    L0 = h ln_b + a Dlg - 2h + 2q Dat;      Y1 - a L0
//   g = y ln rho^2:  Y1 = h (a + b)(ln_b - 1)/2 + (q^2 + a^2) Dlg/2;  Y2 - a Y1
// with Y2 = (h s3 ln_b + a^3 Dlg)/3 - (2/3)(h s3/3 - q^2 h + q^3 Dat) the
// integral of y^2 ln rho^2 and s3 = a^2 + a b + b^2. Every term is a
// difference taken over the piece itself, so the sums stay accurate for an
// observer many widths away; q >= 1e-100 keeps every logarithm finite.
void icgral(const Fcdata& fcdata, double& I1, double& I2, double& I3, double& I4) {
    const double q = fcdata.qdist, p = fcdata.poff, rlog = fcdata.rlogc, sigma = fcdata.sigmaz;
    const double lrlog = std::log(rlog);
    const auto thin_line = [&] {
        const double r2 = q * q + p * p;
        const double lr = std::log(r2 / (rlog * rlog));
        I1 = q / r2;
        I2 = p / r2;
        I3 = q * lr;
        I4 = p * lr;
    };
    if (5.0 * sigma <= 0.0) {
        thin_line();
        return;
    }
    const RibbonNodes& nd = ribbon_nodes();
    const double q2 = q * q, q3 = q2 * q;
    double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0;
    double a = sigma * nd.t[0] + p;
    double lna = std::log(q2 + a * a);
    for (int k = 1; k < nnode; ++k) {
        const double b = sigma * nd.t[std::size_t(k)] + p;
        const double h = b - a;
        // a ribbon narrower than the rounding of the offset p is a thin line
        if (!(h > 0.0)) {
            thin_line();
            return;
        }
        const double lnb = std::log(q2 + b * b);
        const double dat = std::atan2(h * q, q2 + a * b);
        // log1p where the two ends are alike, the plain difference where
        // rho^2 falls by more than half (log1p would meet its pole at -1)
        const double ratio = h * (a + b) / (q2 + a * a);
        const double dlg = ratio > -0.5 ? std::log1p(ratio) : lnb - lna;
        const double sq = a * a + a * b + b * b;

        const double l0 = h * lnb + a * dlg - 2.0 * h + 2.0 * q * dat;
        const double y1 = 0.5 * h * (a + b) * (lnb - 1.0) + 0.5 * (q2 + a * a) * dlg;
        const double y2 = (h * sq * lnb + a * a * a * dlg) / 3.0 - (2.0 / 3.0) * (h * sq / 3.0 - q2 * h + q3 * dat);

        const double fa = nd.phi[std::size_t(k - 1)];
        const double df = nd.phi[std::size_t(k)] - fa;
        s1 += fa * dat + df * ((0.5 * q * dlg - a * dat) / h);
        s2 += fa * (0.5 * dlg) + df * ((h - q * dat - 0.5 * a * dlg) / h);
        s3 += fa * l0 + df * ((y1 - a * l0) / h);
        s4 += fa * y1 + df * ((y2 - a * y1) / h);
        a = b;
        lna = lnb;
    }
    const double norm = foundation::sqrt2pi * sigma;
    I1 = s1 / norm;
    I2 = s2 / norm;
    I3 = q * (s3 / norm - 2.0 * lrlog);
    I4 = s4 / norm - 2.0 * p * lrlog;
}

}  // namespace fieldlib
