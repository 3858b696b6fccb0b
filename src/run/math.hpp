// Shared numerical routines: a fixed-step fourth-order Runge-Kutta
// integrator, a natural cubic spline on a grid of unit spacing and a strided
// discrete convolution. Pure computations on the caller's arrays; nothing is
// allocated. Arrays are passed as pointers to their first element (element 1
// of the formulas below is p[0]).
#pragma once

#include <cstdint>

namespace run {

// Largest number of variables of one integration (the integrator's static
// work storage). A call with more is a fatal stop.
inline constexpr int rk_maxvar = 50;

// Right-hand side: given the independent variable x and the state y(1..nvar)
// fills dydx(1..nvar). p1 and p2 are handed through unchanged by the
// integrator (the caller's parameter block and its length, say).
using Derivs = void (*)(double x, const double* y, double* dydx, const double* p1, int p2);

// Integrates the nvar variables v from x1 to x2 in nstep equal steps; v holds
// the start values on entry and the end values on return. nstep <= 0 leaves v
// unchanged. A step that does not change x in floating point shows
// "stepsize not significant in rkdumb" (operator pause) and goes on.
void rkdumb(double* v, int nvar, double x1, double x2, int nstep, Derivs derivs,
            const double* p1, int p2);

// One classical Runge-Kutta step of size h from x, given dydx at (x, y);
// writes the new state into yout (which may be y itself).
void rk4(const double* y, const double* dydx, int nvar, double x, double h, double* yout,
         Derivs derivs, const double* p1, int p2);

// Second derivatives y2(1..n) of the natural cubic spline through y(1..n) at
// the grid points 1, 2, ..., n; u(1..n) is the caller's work array. With
// n <= 2 every y2(1..n) is 0 and nothing beyond element n is touched.
void cspli1(const double* y, double* y2, double* u, int n);

// The spline at the real grid position x: y(1) for x < 1, y(n) for x >= n,
// the cubic in between. A NaN x gives a NaN value (no integer conversion of
// a NaN or of a value beyond the integer range is ever made).
void cspli2(const double* y, const double* y2, int n, double x, double& value);

// C(i) := fac * sum over k of A(k) B(i*istep - k), for i = ic1..ic2, over
// every k with ia1 <= k <= ia2 and ib1 <= i*istep - k <= ib2, summed in
// increasing k (an empty range gives 0). A points to A(ia1), B to B(ib1) and
// C to C(ic1).
void convo1(const double* A, int ia1, int ia2, const double* B, int ib1, int ib2, double* C,
            int ic1, int ic2, int istep, double fac);

}  // namespace run
