// Transverse-size models: the tabulated Gaussian functions against their
// closed forms, the ribbon integrals against quadrature, the limits of the
// models, the common assembly on a hand-computed case and the fatal stops.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "fieldlib/transverse.hpp"
#include "support/support.hpp"

namespace {

using namespace fieldlib;

V3 v3(double x, double y, double z) { V3 v; v(1) = x, v(2) = y, v(3) = z; return v; }
// Observer a metres across the path in the horizontal plane and z above it;
// the tangent horizontal, curvature 0.2/m (or none), line density -1 nC/m.
Fzget near(double a, double z, bool curved = true) {
    Fzget nz{};
    nz.e0 = -1e-9, nz.e1 = 2e-3, nz.e2 = 5e-7, nz.gamma = 100.0, nz.rlog = 1.0;
    nz.rperp = v3(-0.8 * a, 0.6 * a, z), nz.t0 = v3(0.6, 0.8, 0.0);
    nz.kperp = curved ? v3(-0.16, 0.12, 0.0) : v3(0.0, 0.0, 0.0);
    return nz;
}
W15 model(int method, double sigmaz, double sigmar, const Fzget& nz) {
    Fcdata fc{};
    fcoini(fc, "method", method), fcoini(fc, "sigmaz", sigmaz), fcoini(fc, "sigmar", sigmar);
    fcoini(fc, "ex", 0.0), fcoini(fc, "ey", 0.0), fcoini(fc, "ez", 1.0);
    W15 W;  // every model overwrites all 15 components
    fzsp(fc, nz, W);
    for (int k = 1; k <= 15; ++k) EXPECT_TRUE(k < 15 ? std::isfinite(W(k)) : W(k) == 0.0) << method << " W(" << k << ")";
    return W;
}
double maxrel(const W15& a, const W15& b) {
    double d = 0.0, s = 0.0;
    for (int k = 1; k <= 14; ++k) d = std::max(d, std::fabs(a(k) - b(k))), s = std::max(s, std::fabs(b(k)));
    return d / s;
}

TEST(Transverse, TabulatedGaussianFunctionsAgainstClosedForms) {
    double err[3] = {0, 0, 0};  // h1, h2 absolute; h3 relative
    for (int i = 1; i <= 6000; ++i) {
        const double x = i <= 3000 ? 0.001 * std::pow(1000.0, i / 3000.0) : 0.001 * i;  // (0.001, 6]
        const double h1 = -std::expm1(-0.5 * x * x), h2 = -0.5 * std::expint(-0.5 * x * x), h3 = h2 + h1 / (x * x);
        err[0] = std::max(err[0], std::fabs(h1conv(x) - h1));
        err[1] = std::max(err[1], std::fabs(h2conv(x) - h2));
        err[2] = std::max(err[2], std::fabs(h3conv(x) / h3 - 1));
    }
    EXPECT_LT(std::max(err[0], err[1]), 1e-11);
    EXPECT_LT(err[2], 3e-11);  // the h3 table itself: 2e-10 absolute near x = 0.001
    const double l5 = std::log(1.4142135623730951e5);
    struct Edge { double x, h1, h2, h3; } const edges[] = {
        {-1.0, 0, 0, 0}, {0.0, 0, 0, 0}, {1e-5, 0.5e-10, l5 - 0.288607832450766, l5 + 0.211392167549234},
        {6.5, 1.0, 0.0, 1.0 / 42.25}, {1e10, 1.0, 0.0, 1e-20}};
    const auto same = [](double got, double want) { return std::fabs(got - want) <= 1e-15 * std::fabs(want); };
    for (const Edge& e : edges) EXPECT_TRUE(same(h1conv(e.x), e.h1) && same(h2conv(e.x), e.h2) && same(h3conv(e.x), e.h3)) << e.x;
}

TEST(Transverse, RibbonIntegralsAgainstQuadrature) {
    const double s = 2e-4, rlog = 0.7;
    const auto phi = [](int k) { return std::exp(-0.5 * std::pow(-5.0 + 0.1 * k, 2)) / 2.5066282746310002; };
    struct Case { double p, q; } const cases[] = {{0, 0.01}, {0.3, 0.5}, {2, 1},   {-3, 0.1}, {6, 0.02},
                                                  {10, 2},   {0, 30},    {300, 200}, {0, 1e4}, {3e4, 0.5}};
    for (const Case& c : cases) {  // in units of sigma
        const double p = c.p * s, q = c.q * s;
        double J[4] = {0, 0, 0, 0};  // 3-point Gauss-Legendre on 64 parts of each linear piece
        for (int i = 0; i < 6400; ++i)
            for (double xg : {-0.7745966692414834, 0.0, 0.7745966692414834}) {
                const double t = (i + 0.5 + 0.5 * xg) / 64.0, y = -5.0 * s + 0.1 * s * t + p, r2 = q * q + y * y;
                const double fw = (phi(i / 64) + (phi(i / 64 + 1) - phi(i / 64)) * (t - i / 64)) * (xg == 0.0 ? 8 : 5) / 18.0 / 640.0;
                J[0] += fw * q / r2, J[1] += fw * y / r2, J[2] += fw * std::log(r2), J[3] += fw * y * std::log(r2);
            }
        const double want[4] = {J[0], J[1], q * (J[2] - 2 * std::log(rlog)), J[3] - 2 * p * std::log(rlog)};
        Fcdata fc{};
        fc.qdist = q, fc.poff = p, fc.rlogc = rlog, fc.sigmaz = s;
        double I[4];  // I1..I4
        icgral(fc, I[0], I[1], I[2], I[3]);
        const double d = std::hypot(q, std::fabs(p) + s), scale[4] = {1 / d, 1 / d, d * 10, d * 10};
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(I[j], want[j], 1e-12 * scale[j]) << "p/s=" << c.p << " q/s=" << c.q << " I" << j + 1;
    }
}

TEST(Transverse, CommonAssemblyOnAHandComputedThinLine) {
    // |rperp| = e and rlog = 1 give P = 1, G = (0, 0, 1/e), Qv = (0, 0, e);
    // gamma = 2: 2b = sqrt(3), 2b^2 = 1.5, 2/gamma^2 = 0.5
    const double e = std::exp(1.0), r3 = std::sqrt(3.0), c = 299792458.0;
    Fzget nz{};
    nz.e0 = 1, nz.e1 = 3, nz.e2 = 2, nz.gamma = 2, nz.rlog = 1;
    nz.rperp = v3(0, 0, e), nz.t0 = v3(0, 1, 0), nz.kperp = v3(0.5, 0, 0);
    struct Row { bool nogamma2, notalman; double E1, E2, E3; } const rows[] = {
        {false, false, -0.875, -1, 0.375 * e - 0.5 / e}, {true, false, -0.75, 0, 0.375 * e},
        {false, true, -0.125, -1, 0.375 * e - 0.5 / e}, {true, true, 0, 0, 0.375 * e}};
    for (const Row& r : rows) {
        nz.nogamma2 = r.nogamma2, nz.notalman = r.notalman;
        W15 W;
        Fcdata fc{};
        fzsp0(fc, nz, W);
        const double want[15] = {r.E1, r.E2, r.E3, -r3 / e, -r3 * e, -0.25 * r3, 2, 0, r3 / c, 0, 6, 0, 3 * r3 / c, 0, 0};
        for (int k = 1; k <= 15; ++k) EXPECT_NEAR(W(k), want[k - 1], 1e-15 * (1 + std::fabs(want[k - 1]))) << k;
    }
}

TEST(Transverse, ModelLimits) {
    const double s = 1e-3, sd = 0.75 * s;  // rms sizes [m]
    // far away (x > 6 at every centre) the thin line; the elliptical bunch adds
    // the quadrupole term of its line Gaussian along z: sd^2 (r^2 - 2 z^2)/(2 r^4)
    const W15 thin = model(0, 0, 0, near(0.06, 0.08, false)), ell = model(3, 1.25 * s, s, near(0.06, 0.08, false));
    EXPECT_LT(maxrel(model(2, s, 0, near(0.06, 0.08, false)), thin), 1e-15);
    EXPECT_LT(maxrel(ell, thin), 2e-5);
    EXPECT_NEAR(ell(7) / -2e-9, std::log(0.1) + sd * sd * (0.01 - 2 * 0.0064) / 2e-4, 2e-8);  // next order 1e-8
    // on the path P = ln(sqrt2 sigma) - gamma_E/2, G = rperp/(2 sigma^2) (0 on
    // it), seen without curvature in cB = -2 b e0 t0 x G = (0, 0, -2 b e0 |G|)
    for (double a : {0.0, 1e-9 * s}) {
        const W15 W = model(2, s, 0, near(a, 0, false));
        EXPECT_NEAR(W(7) / -2e-9, std::log(1.4142135623730951 * s) - 0.288607832450766, 1e-12);
        const double want[3] = {0, 0, 2 * std::sqrt(1 - 1e-4) * 1e-9 * a / (2 * s * s)};
        for (int k = 4; k <= 6; ++k) EXPECT_NEAR(W(k), want[k - 4], 1e-12 * want[2]) << a;
    }
    // elliptical: equal sizes and sdiff just below 0.1 smin are the round
    // bunch; just above, the offset sum stays close to it
    const Fzget nz = near(0.7 * s, 0.4 * s);
    EXPECT_EQ(maxrel(model(3, s, s, nz), model(2, s, 0, nz)), 0.0);
    for (double f : {1 - 1e-6, 1 + 1e-6}) {
        const double sz = s * std::sqrt(1 + 0.01 * f * f), dev = maxrel(model(3, sz, s, nz), model(2, sz, 0, nz));
        EXPECT_TRUE(f < 1 ? dev == 0.0 : dev > 0.0 && dev < 1e-3) << dev;
    }
    // a ribbon of no width is the thin line
    EXPECT_LT(maxrel(model(1, 0, 0, near(2 * s, -s)), model(0, 0, 0, near(2 * s, -s))), 1e-15);
}

TEST(Transverse, NoNaNLeavesAModelOnOrNearThePath) {
    struct Size { int method; double sigmaz, sigmar; } const sizes[] = {
        {1, 1e-3, 0}, {1, 0, 0}, {2, 1e-3, 0}, {2, 0, 0}, {3, 2e-3, 1e-3}, {3, 1e-3, 2e-3}, {3, 1e-3, 1e-3}};
    for (const Size& z : sizes)
        for (double a : {0.0, 1e-300, 1e-190, 1e-170, 1e-100, 1e-9, 1e-3, 1.0, 1e3})
            for (double zf : {0.0, 1.0}) model(z.method, z.sigmaz, z.sigmar, near(a, zf * a));
}

void stopping(const std::function<void()>& f) { testsupport::stdout_to_stderr(), f(); }

TEST(TransverseDeathTest, FatalStops) {
    const double c[2] = {1, 1};
    Fzget up = near(1e-3, 0);  // a vertical tangent
    up.t0 = v3(0, 0, 1);
    struct Stop { std::function<void()> f; const char* message; } const stops[] = {
        {[] { Fcdata fc{}; fcoini(fc, "SIGMAZ", 1.0); }, "error in fld_conv/fcoini: unknown action\n SIGMAZ"},
        {[] { model(7, 1e-3, 0, near(1e-3, 0)); }, "error in fld_conv/fzSP: unknown method"},
        {[&] { model(1, 1e-3, 0, up); }, "error in fld_z_in/fzSP1: ee-vect = e0-vect"},
        {[] { model(0, 0, 0, near(0, 0)); }, "fzSP0: observer on the path of a thin line"},
        {[] { model(3, 0, 1e-3, near(1e-3, 0)); }, "fzSP3: no positive offset step"},  // sigmaz never given
        {[] { model(3, 1e-3, 1e-25, near(0, 1e-3)); }, "fzSP3: offset step below rounding"},
        {[&] { model(3, 1e-3, 2e-3, up); }, "fzSP3: path tangent is vertical"},
        {[&] { chebev(0, 3, c, 2, 3.5); }, "x not in range in chebev"},
        {[&] { chebev(0, 3, c, 2, NAN); }, "x not in range in chebev"}};
    for (const Stop& st : stops) EXPECT_EXIT(stopping(st.f), testing::ExitedWithCode(1), st.message) << st.message;
}

}  // namespace
