// The longitudinal profile of the model bunch: a Gaussian in time, uncut or
// cut smoothly at +-xnsigt sigmat, normalised to q0/c; and the single
// precision error function it is normalised with.
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

// The line-charge profile, a Gaussian in dt = t - t(s), the time since the
// bunch centre passed s, with x = dt/sigmat:
//   f(dt) = A exp(-x^2/2) - B + C dt^2   [C/m]
// with the integral over dt equal to q0/c. Uncut (xnsigt <= 0): A =
// (q0/c)/(sqrt(2 pi) sigmat), B = C = 0, the normal distribution. Cut at
// |x| = n = xnsigt: B and C make f and f' vanish at the cut, B = (1 +
// n^2/2) A e, C = A e/(2 sigmat^2) with e = exp(-n^2/2), and A follows from
// the normalisation, q0/c = A sigmat (sqrt(2 pi) erf(n/sqrt 2) - 2n (1 +
// n^2/3) e).
void lamini(Context& cx, double q0, double sigmat, double xnsigt) {
    auto& F = cx.fbdata;
    F.sigmat = sigmat;
    F.xnsigt = xnsigt;
    if (std::fabs(sigmat) <= 0.0) foundation::fatal_stop(" error in fld_bunch/lamini: sigmat.eq.0");
    const double n = xnsigt;
    if (n <= 0.0) {
        F.A = (q0 / clight) / (foundation::sqrt2pi * sigmat);
        F.B = 0.0;
        F.C = 0.0;
    } else {
        const double E = std::exp(-n * n / 2.0);
        const double erfn = erfxxx(static_cast<float>(n / 1.4142135623730951));  // erf(n/sqrt(2))
        const double D = erfn * foundation::sqrt2pi * sigmat - (1.0 + n * n / 3.0) * 2.0 * n * sigmat * E;
        F.A = (q0 / clight) / D;
        F.B = (1.0 + n * n / 2.0) * F.A * E;
        F.C = F.A * E / (2.0 * sigmat * sigmat);
    }
}

// The line density per metre of path, lam(s, t) = f(t - t(s))/beta(s)
// [C/m], and d lam/dt at fixed s [C/(m s)]; 0 beyond the cut.
void lambda(Context& cx, double s, double t, double& lam, double& dlam) {
    const auto& F = cx.fbdata;
    PathPoint p;
    double beta;
    pthget(cx, s, p, beta);
    const double dt = t - p.time();
    const double x = dt / F.sigmat;
    if (F.xnsigt > 0.0 && std::fabs(x) >= F.xnsigt) {
        lam = 0.0;
        dlam = 0.0;
        return;
    }
    const double ex = std::exp(-x * x / 2.0);
    lam = (F.A * ex - F.B + F.C * (dt * dt)) / beta;
    dlam = (-F.A * x * ex / F.sigmat + 2.0 * F.C * dt) / beta;
}

// lam and its time derivatives up to the third, l0..l3 [C/(m s^k)], and
// the path derivatives at fixed t of the first three, ls_k = -l_(k+1)/(beta
// c) - q1 l_k, q1 = (d beta/ds)/beta taken as a difference of gamma over
// the length c sigmat behind s.
void lambd2(Context& cx, double s, double t, double& l0, double& l1, double& l2, double& l3, double& ls0,
            double& ls1, double& ls2) {
    const auto& F = cx.fbdata;
    PathPoint p;
    double beta, beta2;
    pthget(cx, s, p, beta);
    const double ts = p.time(), gamma = p.gamma();
    pthget(cx, s - clight * F.sigmat, p, beta2);
    const double gamma2 = p.gamma();
    const double q1 = (gamma - gamma2) / ((gamma * gamma - 1.0) * gamma * clight * F.sigmat);
    const double dt = t - ts;
    const double x = dt / F.sigmat;
    if (F.xnsigt > 0.0 && std::fabs(x) >= F.xnsigt) {
        l0 = l1 = l2 = l3 = ls0 = ls1 = ls2 = 0.0;
        return;
    }
    const double e = F.A * std::exp(-x * x / 2.0);
    const double sg = F.sigmat;
    l0 = (e - F.B + F.C * (dt * dt)) / beta;
    l1 = (-e * x / sg + 2.0 * F.C * dt) / beta;
    l2 = ((x * x - 1.0) * e / (sg * sg) + 2.0 * F.C) / beta;
    l3 = e * x * (3.0 - x * x) / (sg * sg * sg * beta);
    ls0 = -l1 / (beta * clight) - q1 * l0;
    ls1 = -l2 / (beta * clight) - q1 * l1;
    ls2 = -l3 / (beta * clight) - q1 * l2;
}

// ---- error function through the incomplete gamma function (single) ------
// erf(x) = P(1/2, x^2) for x >= 0, P the regularised lower incomplete gamma
// function, by its series for x < a + 1 and by the continued fraction of
// 1 - P beyond; ln Gamma by the Lanczos approximation.

float erfxxx(float x) { return x < 0.0f ? -gammp(0.5f, x * x) : gammp(0.5f, x * x); }

float gammp(float a, float x) {
    if (x < 0.0f || a <= 0.0f) foundation::fatal_stop(" error in fld_math/gammp");
    float g, gln;
    if (x < a + 1.0f) {
        gammp2(g, a, x, gln);
        return g;
    }
    gammp3(g, a, x, gln);
    return 1.0f - g;
}

namespace {
constexpr int ITMAX = 100;
constexpr float EPS = 3e-7f;
}  // namespace

void gammp2(float& gamser, float a, float x, float& gln) {
    gln = gammln(a);
    if (x <= 0.0f) {
        if (x < 0.0f) foundation::fatal_stop(" error in fld_math/gammp2");
        gamser = 0.0f;
        return;
    }
    float ap = a;
    float sum = 1.0f / a;
    float del = sum;
    int n = 1;
    for (; n <= ITMAX; ++n) {
        ap = ap + 1.0f;
        del = del * x / ap;
        sum = sum + del;
        if (std::fabs(del) < std::fabs(sum) * EPS) break;
    }
    if (n > ITMAX) foundation::stdout_line(" error in fld_math/gammp2: a too large, itmax too small");
    gamser = sum * std::exp(-x + a * std::log(x) - gln);
}

void gammp3(float& gammcf, float a, float x, float& gln) {
    gln = gammln(a);
    float gold = 0.0f, g = 0.0f;
    float a0 = 1.0f, a1 = x, b0 = 0.0f, b1 = 1.0f, fac = 1.0f;
    int n = 1;
    for (; n <= ITMAX; ++n) {
        const float an = static_cast<float>(n);
        const float ana = an - a;
        a0 = (a1 + a0 * ana) * fac;
        b0 = (b1 + b0 * ana) * fac;
        const float anf = an * fac;
        a1 = x * a0 + anf * a1;
        b1 = x * b0 + anf * b1;
        if (a1 != 0.0f) {
            fac = 1.0f / a1;
            g = b1 * fac;
            if (std::fabs((g - gold) / g) < EPS) break;
            gold = g;
        }
    }
    if (n > ITMAX) foundation::stdout_line(" error in fld_math/gammp3: a too large, itmax too small");
    gammcf = std::exp(-x + a * std::log(x) - gln) * g;
}

// ln Gamma by the six-term Lanczos series with gamma = 5 (C. Lanczos, SIAM
// J. Numer. Anal. B 1 (1964) 86; coefficients and the factor 2.50662827465,
// sqrt(2 pi) to 12 digits, as W. H. Press et al., Numerical Recipes,
// Cambridge 1986, sec. 6.1, give them): |error| < 2e-10 for xx > 0, far
// below the single precision of the result. The short sqrt(2 pi) belongs
// to that fit and stays as published.
float gammln(float xx) {
    static constexpr double cof[6] = {76.18009173, -86.50532033, 24.01409822,
                                      -1.231739516, 0.00120858003, -5.36382e-6};
    double x = double(xx) - 1.0;
    double tmp = x + 5.5;
    tmp = (x + 0.5) * std::log(tmp) - tmp;
    double ser = 1.0;
    for (int j = 0; j < 6; ++j) {
        x = x + 1.0;
        ser = ser + cof[j] / x;
    }
    return static_cast<float>(tmp + std::log(2.50662827465 * ser));
}

}  // namespace fieldlib
