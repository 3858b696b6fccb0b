// Fixed-step Runge-Kutta, natural cubic spline and strided convolution.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "foundation/math.hpp"

namespace {

// y' = x^3 (depends on x alone)
void cubic(double x, const double*, double* d, const void*) { d[0] = x * x * x; }

// Six variables: three uncoupled oscillators y'' = -w^2 y with w = 1, 2, 3.
void oscillators(double, const double* y, double* d, const void*) {
    for (int k = 0; k < 3; ++k) d[2 * k] = y[2 * k + 1], d[2 * k + 1] = -(k + 1.0) * (k + 1.0) * y[2 * k];
}

double oscillator_error(int nstep) {
    double v[6] = {1.0, 0.0, 1.0, 0.0, 1.0, 0.0}, e = 0.0;
    foundation::rkdumb(v, 0.0, 1.0, nstep, oscillators, nullptr);
    for (int k = 0; k < 3; ++k) {
        const double w = k + 1.0;
        e = std::fmax(e, std::fmax(std::fabs(v[2 * k] - std::cos(w)), std::fabs(v[2 * k + 1] + w * std::sin(w))));
    }
    return e;
}

TEST(Rk4, ExactForACubicFourthOrderAndZeroLengthKeepsTheState) {
    double v[1] = {0.0};
    foundation::rkdumb(v, 0.0, 1.0, 1, cubic, nullptr);
    EXPECT_DOUBLE_EQ(v[0], 0.25);
    // Halving the step divides the error by about 2^4.
    const double e1 = oscillator_error(20), e2 = oscillator_error(40), e3 = oscillator_error(80);
    EXPECT_GT(e1, 0.0);
    EXPECT_NEAR(std::log2(e1 / e2), 4.0, 0.15);
    EXPECT_NEAR(std::log2(e2 / e3), 4.0, 0.15);
    EXPECT_LT(e3, 1e-6);
    // a zero-length interval pauses with its line and keeps the state
    v[0] = 3.5;
    testing::internal::CaptureStdout();
    foundation::rkdumb(v, 2.0, 2.0, 1, cubic, nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("stepsize not significant in rkdumb"), std::string::npos);
    EXPECT_EQ(v[0], 3.5);
}

TEST(Spline, NaturalSplineSystemKnotsAndClampsOutsideTheGrid) {
    // unit spacing: y2(i-1)/6 + 2/3 y2(i) + y2(i+1)/6 = y(i+1) - 2 y(i) + y(i-1), y2(1) = y2(n) = 0
    std::vector<double> y = {0.3, -1.2, 2.5, 0.7, 0.0, 4.1, -3.3, 1.9, 2.2, -0.4, 0.8};
    const int n = static_cast<int>(y.size());
    std::vector<double> y2(n, 7.0), u(n);
    foundation::cspli1(y, y2, u);
    EXPECT_TRUE(y2[0] == 0.0 && y2[n - 1] == 0.0);
    for (int i = 1; i + 1 < n; ++i)
        EXPECT_NEAR(y2[i - 1] / 6.0 + 2.0 / 3.0 * y2[i] + y2[i + 1] / 6.0, y[i + 1] - 2.0 * y[i] + y[i - 1], 1e-13)
            << "i=" << i + 1;
    // The spline passes through the grid values and is continuous at the knots.
    for (int k = 1; k < n; ++k) {
        double v = 0.0;
        foundation::cspli2(y, y2, static_cast<double>(k), v);
        EXPECT_DOUBLE_EQ(v, y[k - 1]);
        foundation::cspli2(y, y2, k + 1.0 - 1e-12, v);
        EXPECT_NEAR(v, y[k], 1e-9);
    }
    // outside the grid the end values; NaN stays NaN
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [x, want] : {std::pair{0.5, 0.3}, {-0.5, 0.3}, {-1e300, 0.3}, {-inf, 0.3}, {11.0, 0.8},
                                 {17.5, 0.8}, {1e300, 0.8}, {inf, 0.8}}) {
        double v = -1.0;
        foundation::cspli2(y, y2, x, v);
        EXPECT_EQ(v, want) << "x=" << x;
    }
    double v = 0.0;
    foundation::cspli2(y, y2, std::numeric_limits<double>::quiet_NaN(), v);
    EXPECT_TRUE(std::isnan(v));
}

TEST(Spline, ShortGridsWriteInsideTheirBoundsOnly) {
    // Sentinels behind element n must survive.
    for (int n : {1, 2}) {
        std::vector<double> y = {2.0, 5.0, 0.0}, y2 = {7.0, 7.0, 7.0}, u = {7.0, 7.0, 7.0};
        foundation::cspli1(std::span(y).first(n), y2, u);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(y2[i] == (i < n ? 0.0 : 7.0) && u[i] == 7.0) << "n=" << n << " i=" << i;
    }
}

TEST(Convolution, SmallExactCases) {
    // A(1..3) = 1, 2, 3; B(0..1) = 1, 10 (B(100..101) for the last case).
    const double A[] = {1.0, 2.0, 3.0}, B[] = {1.0, 10.0};
    struct Case { int ic1, ic2, istep, b0; double fac; std::vector<double> want; } cases[] = {
        // C(i) = sum_k A(k) B(i-k): i=1: A1 B0; i=2: A1 B1 + A2 B0; ... i=5 empty
        {0, 5, 1, 0, 1.0, {0.0, 1.0, 12.0, 23.0, 30.0, 0.0}},
        {1, 4, 1, 0, 0.5, {0.5, 6.0, 11.5, 15.0}},
        {0, 3, 2, 0, 1.0, {0.0, 12.0, 30.0, 0.0}},  // stride 2: i*2 - k in 0..1
        {1, 3, 1, 100, 1.0, {0.0, 0.0, 0.0}},      // index ranges that do not overlap
    };
    for (const auto& c : cases) {
        std::vector<double> C(c.ic2 - c.ic1 + 1, -7.0);
        foundation::convo1(A, 1, 3, B, c.b0, c.b0 + 1, C, c.ic1, c.ic2, c.istep, c.fac);
        EXPECT_EQ(C, c.want) << "istep=" << c.istep << " b0=" << c.b0;
    }
    // An empty output range writes nothing.
    double C1[2] = {-7.0, -7.0};
    foundation::convo1(A, 1, 3, B, 0, 1, C1, 3, 2, 1, 1.0);
    EXPECT_EQ(C1[0], -7.0);
}

}  // namespace
