// The entry of the field library: a field call, and the design path of a
// context with its limits.
#include "fieldlib/field.hpp"

#include <cmath>

#include "fieldlib/fldint.hpp"
#include "lattice/pthgen.hpp"

namespace fieldlib {

namespace {

// The nearest path point is sought to this fraction of relacc, relative to
// its distance: a chosen factor that, at the usual relacc of 1e-4, asks for
// 1e-16, the rounding of a double, so that the search ends where the
// bracket stops shrinking; the point anchors every window of the call.
constexpr double nearest_point_tolerance = 1e-12;

}  // namespace

// The field of the bunch and its plate images at (r, t) for the path
// particle at the nearest path point (speed beta0 along the tangent t0),
// turned into the force per charge on the test particle of speed beta along
// e by the Lorentz force E + v x B: E += (beta e - beta0 t0) x cB [V/m].
FieldResult field(Context& cx, double t, std::span<const double, 3> r_in, double gamma,
                  std::span<const double, 3> e, double s_start) {
    const Setup& setup = cx.setup;
    const Acclim& acclim = cx.acclim;
    // 1.-3. settings, path cache, profile
    finit(cx, "check", 0.0);
    pthini(cx);
    lamini(cx, setup.q0, setup.sigmat, setup.xnsigt);
    // 4. the path point nearest to the observer
    V3 r;
    for (int i = 1; i <= 3; ++i) r(i) = r_in[std::size_t(i - 1)];
    fsmini(cx, r, acclim.Slow, acclim.Shigh, acclim.relacc * nearest_point_tolerance, s_start);
    // 5. flags of the observation event
    cx.fzdata.notalman = setup.notalman;
    cx.fzdata.nogamma2 = setup.nogamma2;
    cx.fznear.extract = setup.onedpoleex;
    // 6. the path there
    double s, d, beta0;
    PathPoint p;
    fsmget(cx, s, d, p, beta0);
    V3 EXYZ2;
    for (int i = 1; i <= 3; ++i) EXYZ2(i) = p.tangent(i);
    const double gamma0 = p.gamma();
    // 7. the bunch and its images
    W15 W;
    fldmir(cx, t, r, gamma0, EXYZ2, W, setup.hc, cx.xxtmp.hmax, setup.zsymmetry);
    // 8. from the co-moving to the actual test particle
    const double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    const double u1 = beta * e[0] - beta0 * EXYZ2(1);
    const double u2 = beta * e[1] - beta0 * EXYZ2(2);
    const double u3 = beta * e[2] - beta0 * EXYZ2(3);
    W(1) += u2 * W(6) - u3 * W(5);
    W(2) += u3 * W(4) - u1 * W(6);
    W(3) += u1 * W(5) - u2 * W(4);
    // 9.
    FieldResult res;
    for (int k = 1; k <= 14; ++k) res.w[std::size_t(k - 1)] = W(k);
    return res;
}

void pthlim(Context& cx) {
    pthini(cx);
    const auto& P = cx.path;
    finit(cx, "Slow", P.Slow);
    finit(cx, "Shigh", P.Shigh);
    finit(cx, "sstpma", P.sstpma);
    finit(cx, "Rintma", P.Rintma);
}

void setpth(Context& cx, const lattice::Latcom& L, std::span<const double, 7> part, std::int32_t ifb, double ct,
            double p0) {
    lattice::setpth(cx.path, L, part, ifb, ct, p0);
    pthlim(cx);
}

}  // namespace fieldlib
