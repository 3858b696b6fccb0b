// The one-dimensional CSR wake: the steady state deep in an arc, zero where
// no radiation reaches the observer, an observer on the line of an earlier
// straight, plate images, and points in either order; the convolution of
// the projected model by FFT against the direct sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "fieldlib/field.hpp"
#include "forces/csr1d.hpp"
#include "forces/fconv.hpp"
#include "forces/gauss.hpp"

namespace {

using namespace forces;
using Vec = std::vector<double>;

// Steady-state CSR wake of a Gaussian line charge on an arc, in units of
// q/(4 pi eps0 R^(2/3) sigma^(4/3)), at y sigma ahead of the bunch centre:
// G(y) = 2/(3^(1/3) sqrt(2 pi)) int_0^inf xi^(-1/3) (y - xi) exp(-(y - xi)^2/2) dxi,
// with xi = t^3 (Simpson's rule on a smooth integrand).
double G(double y) {
    const double tmax = std::cbrt(std::fmax(y, 0.0) + 12.0);
    const int n = 4000;
    const double h = tmax / n;
    double s = 0.0;
    for (int i = 0; i <= n; ++i) {
        const double t = i * h, xi = t * t * t, z = y - xi;
        s += (i == 0 || i == n ? 1.0 : (i % 2 ? 4.0 : 2.0)) * 3.0 * t * z * std::exp(-0.5 * z * z);
    }
    return 2.0 / (std::cbrt(3.0) * std::sqrt(2.0 * M_PI)) * s * h / 3.0;
}

CsrWork work;  // large: static storage
FftWork fw;

constexpr double sig = 1e-3;  // rms bunch length [m]
// 1 m straight, an arc of R = 10 m up to s = 11 m, then a straight
const Vec arc_table = {1.0, 10.0, 11.0, 0.0};

// The wake at n points from xf to xl (default +-6 sigma) for an observer at s1.
Vec wake(const Vec& rows, double s1, int n, double gamma = 2000.0, double y = 0.0, double ymax = 0.0,
         double xf = -6 * sig, double xl = 6 * sig) {
    WakePars E{sig, gamma, s1, xf, xl, 0.0, y, ymax};
    Vec v(std::size_t(n), 7.0);
    EXPECT_EQ(csr5(SrTable(rows, int(rows.size() / 2)), int(rows.size() / 2) - 1, E, v, work), csr_ok);
    EXPECT_EQ(E.done, 1.0);
    return v;
}

double peak(const Vec& v) {
    double p = 0.0;
    for (double x : v) p = std::max(p, std::fabs(x));
    return p;
}

double maxdiff(const Vec& a, const Vec& b) {
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) d = std::max(d, std::fabs(a[i] - b[i]));
    return d;
}

TEST(CsrWake, SteadyStateDeepInAnArc) {
    ASSERT_NEAR(G(0.0), -0.556340, 1e-6);
    // 8 m into the arc, far beyond the transient length (24 R^2 sigma)^(1/3) = 1.3 m
    const double unit = 8.987551787368176e9 / (std::cbrt(100.0) * std::pow(sig, 4.0 / 3.0));  // q = 1 C, R = 10 m
    for (int n : {121, 61}) {  // 0.1 sigma apart: coarse grid and spline; 0.2 sigma: direct
        const Vec v = wake(arc_table, 9.0, n);
        const double dx = 12 * sig / (n - 1);
        double maxdev = 0.0, mean = 0.0, m2 = 0.0;
        for (int i = 0; i < n; ++i) {
            const double y = 6.0 - i * dx / sig;  // observer ahead of the bunch centre [sigma]
            const double g = v[std::size_t(i)] / unit;
            maxdev = std::max(maxdev, std::fabs(g - G(y)));
            const double wt = (i == 0 || i == n - 1 ? 0.5 : 1.0) * std::exp(-0.5 * y * y) / std::sqrt(2.0 * M_PI) * dx / sig;
            mean += wt * g;
            m2 += wt * g * g;
        }
        EXPECT_LT(maxdev, 0.01 * 0.556340) << n;
        EXPECT_NEAR(mean, -0.350472, 0.002) << n;
        EXPECT_NEAR(std::sqrt(m2 - mean * mean), 0.245987, 0.002) << n;
    }
}

TEST(CsrWake, PointsInEitherOrder) {
    for (int n : {121, 61, 5}) {
        const Vec up = wake(arc_table, 9.0, n);
        Vec down = wake(arc_table, 9.0, n, 2000.0, 0.0, 0.0, 6 * sig, -6 * sig);
        std::reverse(down.begin(), down.end());
        EXPECT_LE(maxdiff(down, up), 1e-9 * peak(up)) << n;
    }
    // the deposit: a Gaussian derivative at x0 on ascending and descending points
    for (double dir : {1.0, -1.0}) {
        Vec W(41, 0.0);
        const double xf = -dir * 6 * sig, xl = dir * 6 * sig, x0 = 1e-3, du = 0.3;
        esum(2.0, x0, sig, -xf, -xl, W);
        for (int k = 0; k < 41; ++k) {
            const double u = (x0 - (xf + k * (xl - xf) / 40)) / sig, w = W[std::size_t(k)];
            if (std::fabs(u) <= 5.0) {
                EXPECT_NEAR(w, -u * std::exp(-0.5 * u * u) * 2.0 * sig, 1e-17);
            } else if (std::fabs(u) > 5.0 + du) {
                EXPECT_EQ(w, 0.0);
            }
        }
    }
}

// The sampled Gaussians against exp at samples 0.2, 0.13 and 0.1 sigma
// apart over +-5.2 sigma, centres anywhere between two samples; the deposits
// of a walk with them on the points of the projected model (0.2 sigma
// apart, 25 ahead), ascending and descending, against esum's exponentials
// (u0 carries the rounding of 1e4 sigma).
TEST(CsrWake, SampledGaussiansAreExact) {
    double T[2 * gauss::tmax + 1], vals[2 * gauss::tmax + 8];
    for (double d : {0.2, 0.13, 0.1}) {
        gauss::fill_table(d, T);
        for (double e : {-0.5, -0.31, 0.0, 0.27, 0.4999}) {
            const int mlo = -int(5.2 / d), nt = 2 * int(5.2 / d) + 1;
            ASSERT_TRUE(gauss::samples_ok(e, d, mlo, nt));
            gauss::samples(e, d, mlo, nt, T, vals);
            for (int j = 0; j < nt; ++j) {
                const double z = (e - mlo - j) * d, ex = std::exp(-0.5 * z * z);
                EXPECT_NEAR(vals[j], ex, 2e-14 * ex) << d << " " << e << " " << j;
            }
        }
    }
    for (int n : {5000, 50000}) {
        for (double dir : {1.0, -1.0}) {
            WalkCtx c{};
            c.sigma = 7e-5;
            c.xa = dir * (n - 26) * 0.2 * c.sigma;  // -x_first
            c.xb = -dir * 25 * 0.2 * c.sigma;       // -x_last
            c.gfast = true;
            gauss::fill_table(std::fabs(((c.xb - c.xa) / (n - 1)) / c.sigma), c.gtab);
            Vec fast(static_cast<std::size_t>(n)), plain = fast;
            for (int i = 0; i < 2000; ++i) {
                const double x0 = -c.xa + (i + 0.37) * (c.xa - c.xb) / 2000;  // across the points
                esum_fast(1.0, x0, c, fast);
                esum(1.0, x0, c.sigma, c.xa, c.xb, plain);
            }
            EXPECT_LE(maxdiff(fast, plain), 2e-14 * peak(plain)) << n << " " << dir;
        }
    }
}

TEST(CsrWake, ZeroWhereNoRadiationReachesTheObserver) {
    struct Case {
        const char* what;
        Vec rows;
        double s1, gamma;
        bool zero;
    };
    const Case cases[] = {
        {"before the first row", arc_table, 0.5, 2000.0, true},
        {"at the first row", arc_table, 1.0, 2000.0, true},
        {"table without bends", {1.0, 0.0}, 5.0, 2000.0, true},
        // (1 - beta) * 300 m = 0.06 m of slippage: everything behind is far below the window
        {"far behind the bend", arc_table, 311.0, 50.0, true},
        {"shortly behind the bend", arc_table, 11.5, 2000.0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(peak(wake(c.rows, c.s1, 61, c.gamma)) == 0.0, c.zero) << c.what;
    // the most points, a little closer than 0.2 sigma: int(span) + 2 coarse
    // points fit, so no capacity warning (the points are computed directly);
    // more points than the coarse grid holds (a grid between plates), no
    // finer than it, are computed directly without the warning too
    for (int n : {cap::narcsr, nwkmax}) {
        ::testing::internal::CaptureStdout();
        const Vec v = wake(arc_table, 0.5, n, 2000.0, 0.0, 0.0, -(n - 1) * 0.2 * sig * (1.0 - 1e-5), 0.0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << n;
        EXPECT_EQ(peak(v), 0.0);
    }
    WakePars E{sig, 2000.0, 0.5, -1.0, 0.0, 0.0, 0.0, 0.0};
    Vec v(std::size_t(nwkmax) + 1);
    EXPECT_EQ(csr5(SrTable(arc_table, 2), 1, E, v, work), csr_bad_block);
}

TEST(CsrWake, ObserverOnTheLineOfAnEarlierStraight) {
    // The straight behind the observer's own one lies on its line (distance
    // exactly 0): it contributes nothing, and nothing turns into NaN.
    for (double gamma : {2000.0, 1e6}) {
        const Vec split = wake({1.0, 10.0, 2.0, 0.0, 3.0, 0.0}, 3.5, 61, gamma);
        const Vec merged = wake({1.0, 10.0, 2.0, 0.0}, 3.5, 61, gamma);
        ASSERT_GT(peak(merged), 0.0);
        EXPECT_LE(maxdiff(split, merged), 1e-9 * peak(merged)) << gamma;
    }
    // a symmetric chicane brings the line back onto the first straight
    const Vec chicane = wake({1.0, 5.0, 1.5, -5.0, 2.5, 5.0, 3.0, 0.0}, 3.2, 61);
    for (double x : chicane) EXPECT_TRUE(std::isfinite(x));
    EXPECT_GT(peak(chicane), 0.0);
}

// (The shielded wake against the three-dimensional model: valid_bend_1d_3d.)
TEST(CsrWake, PlateImages) {
    const Vec free = wake(arc_table, 9.0, 61);
    // no images: no plates, or plates at least as far apart as the cut-off
    for (double p : {0.0, 0.3, 0.5}) EXPECT_EQ(wake(arc_table, 9.0, 61, 2000.0, p, 0.3), free) << p;
    EXPECT_GT(maxdiff(wake(arc_table, 9.0, 61, 2000.0, 0.01, 0.3), free), 0.01 * peak(free));  // 1 cm shields
    EXPECT_LT(maxdiff(wake(arc_table, 9.0, 61, 2000.0, 1.0, 3.4), free), 1e-3 * peak(free));   // 1 m is free space
    // more images than the limit are refused
    WakePars E{sig, 2000.0, 9.0, -6 * sig, 6 * sig, 0.0, 0.3 / (fieldlib::max_images + 1.0), 0.3};
    Vec v(61);
    EXPECT_EQ(csr5(SrTable(arc_table, 2), 1, E, v, work), csr_many_images);
}

// For the index layout of the projected model and for sizes at and around
// the powers of two.
TEST(FftConvolution, EqualsTheDirectSum) {
    struct Case {
        int na, ka1, nb, jb1, nc, ic1;
        double scale_a = 1.0, scale_b = 1.0;  // magnitudes of the two series
    };
    // wake over 1 - nsam .. 25 on a grid ng1 .. ng2 (the force of the model);
    // a wake file's longer range; short, disjoint and one-point series; a
    // wake in V/m per C against a current in A (twelve decades apart)
    const Case cases[] = {{51 + 25, -50, 51, -25, 51, -25},  {700 + 25, -699, 700, -300, 700, -300},
                          {5000 + 25, -4999, 5000, 17, 5000, 17}, {4000, -2100, 1024, -500, 1024, -500},
                          {1025, 0, 1024, 0, 2048, 0},          {1, 0, 1, 0, 3, -1},
                          {10, 0, 10, 100, 5, 0},               {700 + 25, -699, 700, -300, 700, -300, 1e14, 1e2}};
    std::mt19937 gen(7);
    std::normal_distribution<double> nd;
    for (const Case& c : cases) {
        std::vector<double> a(std::size_t(c.na)), b(std::size_t(c.nb));
        // a wake-like series (a strong negative core on a long tail) and a current
        for (int k = 0; k < c.na; ++k) a[std::size_t(k)] = c.scale_a * (nd(gen) + (k > c.na - 30 ? -40.0 : 0.0));
        for (int j = 0; j < c.nb; ++j)
            b[std::size_t(j)] = c.scale_b * std::exp(-0.5 * std::pow((j - c.nb / 2) / (0.2 * c.nb + 1), 2));
        std::vector<double> d(std::size_t(c.nc), 9.0), f(std::size_t(c.nc), 9.0), best(std::size_t(c.nc), 9.0);
        forces::cnvdir(a, c.ka1, b, c.jb1, d, c.ic1, 0.5);
        forces::cnvfft(a, c.ka1, b, c.jb1, f, c.ic1, 0.5, fw);
        forces::cnvbest(a, c.ka1, b, c.jb1, best, c.ic1, 0.5, fw);
        double pk = 0.0;
        for (double x : d) pk = std::max(pk, std::fabs(x));
        for (int i = 0; i < c.nc; ++i) {
            EXPECT_NEAR(f[std::size_t(i)], d[std::size_t(i)], 1e-12 * pk) << c.na << " " << i;
            EXPECT_NEAR(best[std::size_t(i)], d[std::size_t(i)], 1e-12 * pk) << c.na << " " << i;
        }
    }
}

}  // namespace
