// Inside the field library: its records, gathered in one context object, and
// the stages of a field evaluation, each a function of the context it works
// on. Lengths in metres, times in seconds, line densities in C/m; W sums are
// in the units of the integrand (C/m^2 and alike) until freesp scales them
// by 1/(4 pi eps0).
#pragma once

#include <cstdint>
#include <type_traits>

#include <span>
#include <string_view>

#include "fieldlib/fldtypes.hpp"
#include "fieldlib/transverse.hpp"
#include "foundation/ftypes.hpp"
#include "lattice/pthgen.hpp"

namespace fieldlib {

using ftypes::Logical;
// Path values at one path position: the time [s] at which the path particle
// passes, its Lorentz factor, position [m], unit tangent and curvature
// vector [1/m].
using lattice::PathPoint;

inline constexpr double fourpieps_inv = 8987551787.366543;  // 1/(4 pi eps0) [V m/C]

// Source points of one evaluation.
inline constexpr int maxpnt = 10000;

// Boole's five-point rule: the integral over [a, a + h] is h times the sum
// of these weights times the integrand at a + j h/4, j = 0..4 (exact for
// polynomials up to the fifth degree).
inline constexpr double boole_weights[5] = {7.0 / 90.0, 32.0 / 90.0, 12.0 / 90.0, 32.0 / 90.0, 7.0 / 90.0};
static_assert(boole_weights[0] == 0.07777777777777778 && boole_weights[1] == 0.35555555555555557 &&
              boole_weights[2] == 0.13333333333333333 && boole_weights[3] == 0.35555555555555557 &&
              boole_weights[4] == 0.07777777777777778);

// Half length, in sigmat, of the retarded window of an uncut Gaussian
// profile: the window holds all of its charge but 1e-15.
inline constexpr double uncut_window_nsig = 8.0;

// ---- settings (written by finit) ----------------------------------------

struct Setup {
    double q0;        // C; total charge
    double sigmat;    // s; rms duration of the profile
    double xnsigt;    // cut of the profile in sigmat (0 = uncut)
    double hc;        // m; spacing of the plate images (0 = no plates)
    Logical zsymmetry;
    Logical onedmirror;  // "1dmirror": images without the transverse-size term
    Logical notalman;    // drop the curvature term of the integrand
    Logical nogamma2;    // drop the 1/gamma^2 velocity-field terms
    Logical onedpoleex;  // "1dpoleex": analytic pole extraction
};

struct Acclim {
    double Rintmi;  // m; smallest length scale
    double Rintma;  // m; margin of the retarded search below Slow
    double Slow, Shigh;  // m; path interval of the source points
    double sstpma;  // m; largest sub-step of the source walk
    double relacc;  // relative accuracy
};

struct Xxtmp {
    double hmax;  // m; height up to which plate images are summed
};

// The required settings, each "given and valid" until check finds otherwise.
enum FinitSlot { Shc, Sq0, Ssigmat, Sxnsigt, SRintmi, SRintma, SSlow, SShigh, Ssstpma, Srelacc, Nslot };

// Zero-filled: no call yet.
struct FinitState {
    bool started;      // a call has been made (the method set to 0 first)
    bool defaults;     // defaults of the optional settings applied
    bool lset[Nslot];
};

// Half length of the retarded window in sigmat: the cut of the profile, or
// uncut_window_nsig for an uncut profile.
inline double window_nsig(const Setup& setup) {
    return setup.xnsigt > 0.0 ? setup.xnsigt : uncut_window_nsig;
}

// ---- line-charge profile -------------------------------------------------

struct Fbdata {
    double sigmat, xnsigt;
    double A, B, C;  // f(dt) = A exp(-x^2/2) - B + C dt^2, x = dt/sigmat
};

// ---- path access ---------------------------------------------------------

struct Fpdata {
    double s;
    PathPoint p;
    double beta;
    Logical valid;
};

struct Fsdata {
    V3 r;        // observation point
    double s;    // nearest path position
    double d;    // distance from r to the path point at s
    PathPoint p; // path values at s
    double beta;
    double tol;  // relative tolerance of the search
};

// ---- plate images --------------------------------------------------------

// Start point and tangent of the straight start of the path, and the
// point of its bisection; the tangent is kept from call to call.
struct StraightStart {
    V3 RA, EA, RM;
};

// The distant images' signed taper weights and offsets of one mirmlt call.
struct ImageTable {
    double sw[static_cast<int>(max_images) + 1];
    double zo[2][static_cast<int>(max_images) + 1];
};

// ---- free space and the retarded source window ---------------------------

struct F12dat {
    double margin;  // s
    double offset;  // m
    V3 r;
    double t;
    double s1, s2;
    std::int32_t mode;  // 1 while s1 is sought, 2 while s2 is sought
};

// ---- near zone -------------------------------------------------------------

struct Fzdata {
    double t;
    V3 r;
    double gamma, g2inv, beta, betac;
    V3 e;
    double sigmat;
    double rscale;   // m; 1e-16 times the largest coordinate magnitude
    Logical newev;   // a new event: the integrand cache is stale
    Logical notalman;
    Logical nogamma2;
};

struct Fznear {
    double s0, d;
    double s1, s2;          // near-zone window
    double sminus, splus;   // cut-out interval
    double a0, a1, a2;
    double b0, b1, b2;
    double p0, q0, cubic;
    double e0, e1, e2, e3, e4, e5;
    double rlog;
    V3 x0, t0, kperp, rperp, mt0, mhk, txr, kxr, htk, txrk, kxrk;
    Logical inwin, extract, near;
};

// ---- source points and the retarded integrand ----------------------------

struct Fsidat {
    ftypes::Arr1<double, maxpnt> X;  // source points, decreasing within a range
    std::int32_t n;
    ftypes::Arr1<Logical, maxpnt> flag;  // integrate from X(i) to X(i+1)
};

// Interval results are stored component by component of interval i: I(j, i).
// (The Boole rule's error estimate is not kept: nothing would read it.)
struct Fs1dat {
    W15 T;
    ftypes::Arr2<double, 15, maxpnt> I;
};

// The one-entry cache of cached_integrand: the last source point and its values.
struct IntegrandCache {
    double SOLD;
    W15 FBOLD;
};

// Counters of path evaluations (ptcall) and integrand evaluations
// (integrand) since the context was made, for the benchmarks.
struct FieldCounters {
    long long path_calls;
    long long integrand_calls;
};

// ---- the context -----------------------------------------------------------

// One field library: its settings, its design path, the records of the
// field evaluation under way, and the caches that live from call to call
// (the path cache, the integrand cache, the tangent of the path's straight
// start). Large (about 1.3 MB). Its owner makes it zero-filled: a
// value-initialised object, or zero-filled storage (an aggregate of plain
// records whose start value is all zero bytes, so that no constructor needs
// to touch its pages), which is a library with no setting given and no path.
struct Context : ftypes::NoCopy {
    Setup setup;
    Acclim acclim;
    Xxtmp xxtmp;
    Fcdata fcdata;
    FinitState fst;
    Fbdata fbdata;
    Fpdata fpdata;
    Fsdata fsdata;
    StraightStart start;
    ImageTable images;
    F12dat f12dat;
    Fzdata fzdata;
    Fznear fznear;
    Fsidat fsidat;
    Fs1dat fs1dat;
    IntegrandCache cache;
    FieldCounters counters;
    lattice::Pthcom path;  // the design path (setpth, or lattice::pthset and pthlim)
};
static_assert(std::is_aggregate_v<Context> && std::is_trivially_destructible_v<Context>,
              "a context may live in zero-filled storage, no constructor run");

// The settings and the entry of the library (finit, field, setpth, pthlim)
// are declared in field.hpp.

// ---- line-charge profile -------------------------------------------------

void lamini(Context& cx, double q0, double sigmat, double xnsigt);
// Line density lam(s, t) [C/m] and its time derivative at fixed s.
void lambda(Context& cx, double s, double t, double& lam, double& dlam);
// The density, its first three time derivatives and the path derivatives
// of the first three.
void lambd2(Context& cx, double s, double t, double& l0, double& l1, double& l2, double& l3, double& ls0,
            double& ls1, double& ls2);
float erfxxx(float x);
float gammp(float a, float x);
void gammp2(float& gamser, float a, float x, float& gln);
void gammp3(float& gammcf, float a, float x, float& gln);
float gammln(float xx);

// ---- path access ---------------------------------------------------------

void pthini(Context& cx);
// The path of cx at s into the one-entry path cache, and the cached values
// (evaluated anew unless the cache holds s).
void ptcall(Context& cx, double s);
void pthget(Context& cx, double s, PathPoint& p, double& beta);
void rofs(Context& cx, double s, double& d, double& dd);
// The path point nearest to r in [Slow, Shigh], the search started at
// s_start (at the middle of the interval when s_start is not inside it).
void fsmini(Context& cx, const V3& r, double Slow, double Shigh, double tol, double s_start);
void fsmget(const Context& cx, double& s, double& d, PathPoint& p, double& beta);
void fsmin2(Context& cx, const V3& r);

// ---- plate images --------------------------------------------------------

void fldmir(Context& cx, double t, V3& r, double gamma0, const V3& e0, W15& W, double hc, double hmax,
            bool zsymmetry);
double mirwin(double x, double xmax);
void mircha(Context& cx, double t, const V3& r, const V3& e0, W15& W2, double s0);
void mirmlt(Context& cx, double t, const V3& r, const V3& e0, W15& W2, double s0, int k, int kmax, double hc,
            double hmax);

// ---- free space and the retarded source window ---------------------------

void freesp(Context& cx, double t, const V3& r, double gamma0, const V3& e0, W15& W, bool image);
void f12ini(Context& cx, double t, const V3& r, double slo, double shi, double margin, double offset,
            double tol);
void tofs(Context& cx, double s, double& f, double& df);
void f12get(const Context& cx, double& s1, double& s2);
// The point whose retarded signal arrives at the time of f12dat, the path
// replaced by its tangent line at slo traversed at the speed there; sgn -1
// for s1 (the head margin), +1 for s2.
double f12est(Context& cx, double slo, double sgn);
void zisget(const Context& cx, bool& inwin, double& s1, double& s2, bool& near, double& sminus, double& splus);

// ---- near zone -------------------------------------------------------------

void ziinit(Context& cx, double t, const V3& r, double gamma, const V3& e, double sigmat, double relacc);
void fziget(const Context& cx, Fzget& g);
void fzcorr(Context& cx, W15& W);

// ---- source points and the retarded integrand ----------------------------

void wint0(Context& cx, double t, const V3& r);
void wihelp(Context& cx, double s, double t, const V3& r, double& R, double& kappa2, double& tau, double& dtau);
void wint1(Context& cx, W15& W);
void cached_integrand(Context& cx, double s, W15& W);
void integrand(Context& cx, double s, W15& W);

}  // namespace fieldlib
