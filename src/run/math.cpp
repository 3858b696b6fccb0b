#include "run/math.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "run/platform.hpp"

namespace run {

namespace {

// Work storage of one Runge-Kutta step: trial state and the derivatives at
// the two midpoint evaluations.
double rk_yt[rk_maxvar];
double rk_dyt[rk_maxvar];
double rk_dym[rk_maxvar];

void check_nvar(int nvar, const char* who) {
    if (nvar > rk_maxvar) {
        fatal_stop(std::string("error in ") + who + ": more variables than work storage");
    }
}

}  // namespace

void rk4(const double* y, const double* dydx, int nvar, double x, double h, double* yout,
         Derivs derivs, const double* p1, int p2) {
    check_nvar(nvar, "rk4");
    const double hh = 0.5 * h;
    const double h6 = h / 6.0;
    const double xh = x + hh;
    for (int i = 0; i < nvar; ++i) rk_yt[i] = y[i] + hh * dydx[i];
    derivs(xh, rk_yt, rk_dyt, p1, p2);
    for (int i = 0; i < nvar; ++i) rk_yt[i] = y[i] + hh * rk_dyt[i];
    derivs(xh, rk_yt, rk_dym, p1, p2);
    for (int i = 0; i < nvar; ++i) {
        rk_yt[i] = y[i] + h * rk_dym[i];
        rk_dym[i] = rk_dyt[i] + rk_dym[i];
    }
    derivs(x + h, rk_yt, rk_dyt, p1, p2);
    for (int i = 0; i < nvar; ++i) yout[i] = y[i] + h6 * (dydx[i] + rk_dyt[i] + 2.0 * rk_dym[i]);
}

void rkdumb(double* v, int nvar, double x1, double x2, int nstep, Derivs derivs,
            const double* p1, int p2) {
    check_nvar(nvar, "rkdumb");
    if (nstep <= 0) return;
    double dv[rk_maxvar];
    double x = x1;
    const double h = (x2 - x1) / nstep;
    for (int k = 1; k <= nstep; ++k) {
        derivs(x, v, dv, p1, p2);
        rk4(v, dv, nvar, x, h, v, derivs, p1, p2);
        if (x + h == x) operator_pause("stepsize not significant in rkdumb");
        x = x + h;
    }
}

void cspli1(const double* y, double* y2, double* u, int n) {
    constexpr double two3 = 0.6666666666666666;
    constexpr double one6 = 0.16666666666666666;
    if (n <= 0) return;
    // 1-based views of the caller's arrays
    const double* Y = y - 1;
    double* Y2 = y2 - 1;
    double* U = u - 1;
    Y2[1] = 0.0;
    if (n <= 2) {
        // no interior point: the natural spline is the straight line
        Y2[n] = 0.0;
        return;
    }
    for (int i = 2; i <= n - 1; ++i) U[i] = Y[i + 1] + Y[i - 1] - 2.0 * Y[i];
    Y2[2] = U[2] / two3;
    double b = two3;
    for (int i = 3; i <= n - 1; ++i) {
        const double g = one6 / b;
        b = two3 - one6 * g;
        Y2[i] = (U[i] - one6 * Y2[i - 1]) / b;
        U[i] = g;
    }
    for (int i = n - 2; i >= 2; --i) Y2[i] = Y2[i] - U[i + 1] * Y2[i + 1];
    Y2[n] = 0.0;
}

void cspli2(const double* y, const double* y2, int n, double x, double& value) {
    if (std::isnan(x)) {
        value = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    // x truncated toward zero, range-checked in floating point first
    const double kt = std::trunc(x);
    if (kt < 1.0) {
        value = y[0];
        return;
    }
    if (kt >= static_cast<double>(n)) {
        value = y[n - 1];
        return;
    }
    const int k = static_cast<int>(kt);
    const double b = x - k;
    const double a = 1.0 - b;
    value = a * y[k - 1] + b * y[k] +
            ((a * a * a - a) * y2[k - 1] + (b * b * b - b) * y2[k]) / 6.0;
}

void convo1(const double* A, int ia1, int ia2, const double* B, int ib1, int ib2, double* C,
            int ic1, int ic2, int istep, double fac) {
    for (long i = ic1; i <= ic2; ++i) {
        const long m = i * static_cast<long>(istep);
        long klo = ia1;
        long khi = ia2;
        if (m - ib2 > klo) klo = m - ib2;
        if (m - ib1 < khi) khi = m - ib1;
        double sum = 0.0;
        for (long k = klo; k <= khi; ++k) sum += A[k - ia1] * B[(m - k) - ib1];
        C[i - ic1] = fac * sum;
    }
}

}  // namespace run
