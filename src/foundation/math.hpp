// Shared numerical routines: a fixed-step fourth-order Runge-Kutta
// integrator, a natural cubic spline on a grid of unit spacing and a
// discrete convolution. Pure computations on the caller's arrays, reentrant:
// the work storage is on the stack, nothing is allocated.
#pragma once

#include <cstdint>
#include <span>

namespace foundation {

// Largest number of variables of one integration (the size of the work
// arrays on the stack). A call with more is a fatal stop.
inline constexpr int rk_maxvar = 50;

// Right-hand side: given the independent variable x and the state y fills
// dydx (both of the integration's nvar values); ctx is the caller's
// parameter block, handed through unchanged.
using Derivs = void (*)(double x, const double* y, double* dydx, const void* ctx);

// Integrates the variables v (nvar = v.size()) from x1 to x2 in nstep equal
// steps; v holds the start values on entry and the end values on return.
// nstep <= 0 leaves v unchanged. A step that does not change x in floating
// point shows "stepsize not significant in rkdumb" (operator pause) and
// goes on.
void rkdumb(std::span<double> v, double x1, double x2, int nstep, Derivs derivs, const void* ctx);

// One classical Runge-Kutta step of size h from x, given dydx at (x, y);
// writes the new state into yout (which may be y itself). All three have
// y.size() values.
void rk4(std::span<const double> y, std::span<const double> dydx, double x, double h,
         std::span<double> yout, Derivs derivs, const void* ctx);

// Second derivatives y2 of the natural cubic spline through the n = y.size()
// values y at the grid points 1, 2, ..., n; u is the caller's work array.
// y2 and u hold at least n values. With n <= 2 every y2 is 0.
void cspli1(std::span<const double> y, std::span<double> y2, std::span<double> u);

// The spline through y (with y2 from cspli1) at the real grid position x:
// y(1) for x < 1, y(n) for x >= n, the cubic in between. A NaN x gives a
// NaN value (no integer conversion of a NaN or of a value beyond the
// integer range is ever made).
void cspli2(std::span<const double> y, std::span<const double> y2, double x, double& value);

// C(i) := fac * sum over k of A(k) B(i*istep - k), for i = ic1..ic2, over
// every k with ia1 <= k <= ia2 and ib1 <= i*istep - k <= ib2, summed in
// increasing k (an empty range gives 0). A[0] is A(ia1), B[0] is B(ib1),
// C[0] is C(ic1); the spans hold at least the ranges (else a fatal stop).
void convo1(std::span<const double> A, int ia1, int ia2, std::span<const double> B, int ib1, int ib2,
            std::span<double> C, int ic1, int ic2, int istep, double fac);

}  // namespace foundation
