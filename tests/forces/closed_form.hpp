// Closed forms of the one-dimensional CSR tests.
#pragma once

#include <cmath>

namespace csrtest {

// Steady-state CSR wake of a Gaussian line charge on an arc, in units of
// q/(4 pi eps0 R^(2/3) sigma^(4/3)), at y sigma ahead of the bunch centre:
// G(y) = 2/(3^(1/3) sqrt(2 pi)) int_0^inf xi^(-1/3) (y - xi) exp(-(y - xi)^2/2) dxi,
// with xi = t^3 (Simpson's rule on a smooth integrand).
inline double G(double y) {
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

// q/(4 pi eps0 R^(2/3) sigma^(4/3)) [V/m] for q in C, R and sigma in m.
inline double wake_unit(double q, double R, double sigma) {
    return 8.987551787368176e9 * q / (std::cbrt(R * R) * std::pow(sigma, 4.0 / 3.0));
}

// Standard normal density.
inline double phi(double y) { return std::exp(-0.5 * y * y) / std::sqrt(2.0 * M_PI); }

}  // namespace csrtest
