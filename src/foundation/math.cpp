#include "foundation/math.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "foundation/stop.hpp"

namespace foundation {

namespace {

void check_nvar(std::size_t nvar, const char* who) {
    if (nvar > std::size_t(rk_maxvar)) {
        fatal_stop(std::string("error in ") + who + ": more variables than work storage");
    }
}

}  // namespace

void rk4(std::span<const double> y, std::span<const double> dydx, double x, double h,
         std::span<double> yout, Derivs derivs, const void* ctx) {
    const std::size_t nvar = y.size();
    check_nvar(nvar, "rk4");
    // trial state and the derivatives at the two midpoint evaluations
    double yt[rk_maxvar], dyt[rk_maxvar], dym[rk_maxvar];
    const double hh = 0.5 * h;
    const double h6 = h / 6.0;
    const double xh = x + hh;
    for (std::size_t i = 0; i < nvar; ++i) yt[i] = y[i] + hh * dydx[i];
    derivs(xh, yt, dyt, ctx);
    for (std::size_t i = 0; i < nvar; ++i) yt[i] = y[i] + hh * dyt[i];
    derivs(xh, yt, dym, ctx);
    for (std::size_t i = 0; i < nvar; ++i) {
        yt[i] = y[i] + h * dym[i];
        dym[i] = dyt[i] + dym[i];
    }
    derivs(x + h, yt, dyt, ctx);
    for (std::size_t i = 0; i < nvar; ++i) yout[i] = y[i] + h6 * (dydx[i] + dyt[i] + 2.0 * dym[i]);
}

void rkdumb(std::span<double> v, double x1, double x2, int nstep, Derivs derivs, const void* ctx) {
    check_nvar(v.size(), "rkdumb");
    if (nstep <= 0) return;
    double dv[rk_maxvar];
    const std::span<const double> d(dv, v.size());
    double x = x1;
    const double h = (x2 - x1) / nstep;
    for (int k = 1; k <= nstep; ++k) {
        derivs(x, v.data(), dv, ctx);
        rk4(v, d, x, h, v, derivs, ctx);
        if (x + h == x) operator_pause("stepsize not significant in rkdumb");
        x = x + h;
    }
}

void cspli1(std::span<const double> y, std::span<double> y2, std::span<double> u) {
    constexpr double two3 = 0.6666666666666666;
    constexpr double one6 = 0.16666666666666666;
    const int n = static_cast<int>(y.size());
    if (n <= 0) return;
    if (y2.size() < y.size() || u.size() < y.size()) fatal_stop("error in cspli1: work arrays too short");
    // 1-based access of the caller's arrays, as the recurrences are written
    auto Y = [&](int i) { return y[std::size_t(i - 1)]; };
    auto Y2 = [&](int i) -> double& { return y2[std::size_t(i - 1)]; };
    auto U = [&](int i) -> double& { return u[std::size_t(i - 1)]; };
    Y2(1) = 0.0;
    if (n <= 2) {
        // no interior point: the natural spline is the straight line
        Y2(n) = 0.0;
        return;
    }
    for (int i = 2; i <= n - 1; ++i) U(i) = Y(i + 1) + Y(i - 1) - 2.0 * Y(i);
    Y2(2) = U(2) / two3;
    double b = two3;
    for (int i = 3; i <= n - 1; ++i) {
        const double g = one6 / b;
        b = two3 - one6 * g;
        Y2(i) = (U(i) - one6 * Y2(i - 1)) / b;
        U(i) = g;
    }
    for (int i = n - 2; i >= 2; --i) Y2(i) = Y2(i) - U(i + 1) * Y2(i + 1);
    Y2(n) = 0.0;
}

void cspli2(std::span<const double> y, std::span<const double> y2, double x, double& value) {
    const int n = static_cast<int>(y.size());
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
        value = y[std::size_t(n - 1)];
        return;
    }
    const std::size_t k = static_cast<std::size_t>(kt);
    const double b = x - static_cast<double>(k);
    const double a = 1.0 - b;
    value = a * y[k - 1] + b * y[k] +
            ((a * a * a - a) * y2[k - 1] + (b * b * b - b) * y2[k]) / 6.0;
}

void convo1(std::span<const double> A, int ia1, int ia2, std::span<const double> B, int ib1, int ib2,
            std::span<double> C, int ic1, int ic2, int istep, double fac) {
    auto covers = [](std::span<const double> s, long lo, long hi) {
        return hi < lo || static_cast<long>(s.size()) >= hi - lo + 1;
    };
    if (!covers(A, ia1, ia2) || !covers(B, ib1, ib2) || !covers(C, ic1, ic2))
        fatal_stop("error in convo1: array shorter than its index range");
    for (long i = ic1; i <= ic2; ++i) {
        const long m = i * static_cast<long>(istep);
        long klo = ia1;
        long khi = ia2;
        if (m - ib2 > klo) klo = m - ib2;
        if (m - ib1 < khi) khi = m - ib1;
        double sum = 0.0;
        for (long k = klo; k <= khi; ++k) sum += A[std::size_t(k - ia1)] * B[std::size_t((m - k) - ib1)];
        C[std::size_t(i - ic1)] = fac * sum;
    }
}

}  // namespace foundation
