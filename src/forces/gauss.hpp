// Sampled Gaussians at a few products per sample, exact to the last digits:
// with the samples at z = (e - m) d (e the offset of the centre from the
// nearest sample, |e| <= 1/2) each is
//   exp(-z^2/2) = exp(-e^2 d^2/2) * C^m * T_m,  C = exp(e d^2),  T_m = exp(-m^2 d^2/2),
// where both exponents are below 0.02 for d <= 0.2 (their series end below
// the rounding), T is a table and the powers of C come by products.
#pragma once

#include <cmath>
#include <cstdint>

namespace forces::gauss {

// Nearest integer of a real of moderate size (|x| < 2^52), halves away
// from zero, without a library call or a branch.
inline double nint_fast(double x) {
    const double t = double(static_cast<long long>(x));
    const double r = x - t;  // exact
    return t + double(r >= 0.5) - double(r <= -0.5);
}

// exp(x) = even + odd for |x| <= 0.05, to the last digit (the first term
// left out is below 1e-22).
inline void exp_small(double x, double& even, double& odd) {
    const double x2 = x * x;
    even = 1.0 + x2 * (1.0 / 2 + x2 * (1.0 / 24 + x2 * (1.0 / 720 + x2 * (1.0 / 40320 + x2 / 3628800))));
    odd = x * (1.0 + x2 * (1.0 / 6 + x2 * (1.0 / 120 + x2 * (1.0 / 5040 + x2 * (1.0 / 362880 + x2 / 39916800)))));
}

// b^n for an integer n >= 0 by repeated squaring.
inline double ipow(double b, int n) {
    double r = 1.0;
    for (; n > 0; n >>= 1, b *= b)
        if (n & 1) r *= b;
    return r;
}

// Table of T_m = exp(-m^2 d^2/2), m = -tmax .. tmax.
inline constexpr int tmax = 64;
inline void fill_table(double d, double* T) {
    for (int m = -tmax; m <= tmax; ++m) T[m + tmax] = std::exp(-0.5 * (m * d) * (m * d));
}

// vals[j] = exp(-((e - mlo - j) d)^2/2), j = 0 .. nt-1, for |e d^2| <= 0.05
// and the table T of d; mlo .. mlo + nt - 1 within -tmax .. tmax. vals
// holds nt + 8 values.
inline void samples(double e, double d, int mlo, int nt, const double* T, double* vals) {
    const double d2 = d * d;
    double ae, ao, ce, co;
    exp_small(-0.5 * e * e * d2, ae, ao);
    exp_small(e * d2, ce, co);
    const double C = ce + co, Cinv = ce - co;
    double base = (ae + ao) * (mlo < 0 ? ipow(Cinv, -mlo) : ipow(C, mlo));
    constexpr int nblk = 8;
    double P[nblk];  // powers of C in blocks of eight
    P[0] = 1.0;
    P[1] = C;
    P[2] = C * C;
    P[3] = P[2] * C;
    P[4] = P[2] * P[2];
    P[5] = P[4] * C;
    P[6] = P[4] * P[2];
    P[7] = P[4] * P[3];
    const double C8 = P[4] * P[4];
    const double* Tm = T + (mlo + tmax);
    for (int j0 = 0; j0 < nt; j0 += nblk) {
        for (int i = 0; i < nblk; ++i) vals[j0 + i] = base * P[i] * Tm[j0 + i];
        base *= C8;
    }
}

// The samples of a centre can be made this way: |e d^2| small and the
// points inside the table (a NaN e fails).
inline bool samples_ok(double e, double d, int mlo, int nt) {
    return std::fabs(e * d * d) <= 0.05 && mlo >= -tmax && mlo + nt - 1 <= tmax - 8;
}

}  // namespace forces::gauss
