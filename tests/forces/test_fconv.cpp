// The FFT convolution equals the direct sum, for the index layout of the
// projected model and for sizes at and around the powers of two.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "forces/fconv.hpp"

namespace {

forces::FftWork fw;  // large: static storage

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
