// The field of the model bunch against closed forms: a long line charge at
// rest and moving, the Lorentz-contracted Coulomb field of a short bunch,
// a co-moving particle on a straight line, the steady-state CSR wake on an
// arc, the potentials against the fields, and two conducting plates; and a
// field call that depends on its own arguments only.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "fieldlib/fldint.hpp"
#include "paths.hpp"

namespace {

using namespace fltest;
fieldlib::Context& cx = test_context();
const double ex[3] = {1.0, 0.0, 0.0};

// Peak line density [C/m] of the profile of the settings, at speed beta.
double peak_density(const Settings& S, double beta) {
    fieldlib::lamini(cx, S.q0, S.sigmat, S.xnsigt);
    return (cx.fbdata.A - cx.fbdata.B) / beta;
}

// A bunch 3 m long on a 200 m straight line, centre at the origin now: near
// it, the field of an infinite line of the local density, E = lam/(2 pi eps0
// rho) radially and c B = beta E, for a test particle at rest.
TEST(FieldClosedForm, LongLineCharge) {
    struct Case { const char* name; int method; double sigmaz, sigmar, xnsigt, rho; };  // sizes and rho in m
    const Case cases[] = {
        {"thin line, 0.1 mm", 0, 0.0, 0.0, 5.0, 1e-4},          {"thin line, 1 mm", 0, 0.0, 0.0, 5.0, 1e-3},
        {"thin line, 1 cm", 0, 0.0, 0.0, 5.0, 1e-2},            {"thin line, uncut profile", 0, 0.0, 0.0, 0.0, 1e-3},
        {"round gaussian at 1 sigma", 2, 1e-3, 0.0, 5.0, 1e-3}, {"round gaussian at 3 sigma", 2, 1e-3, 0.0, 5.0, 3e-3},
        {"ellipse with equal sizes", 3, 1e-3, 1e-3, 5.0, 1e-3},
    };
    const double p = 10.0, beta = p / std::sqrt(p * p + 1.0);
    for (const auto& cs : cases) {
        SCOPED_TRACE(cs.name);
        build_path({{200.0, 0.0}}, 100.0, p);
        const Settings S = apply({.sigmat = 3.0 / (clight * beta), .xnsigt = cs.xnsigt, .method = cs.method,
                                  .sigmaz = cs.sigmaz, .sigmar = cs.sigmar});
        double lam = peak_density(S, beta);
        if (cs.method != 0) lam *= 1.0 - std::exp(-cs.rho * cs.rho / (2.0 * cs.sigmaz * cs.sigmaz));
        const double E = lam * 2.0 * ke / cs.rho;
        for (double phi : {0.5 * pi, 0.25 * pi}) {
            const double y = cs.rho * std::sin(phi), z = cs.rho * std::cos(phi);
            const Field f = field_at(0.0, 0.0, y, z, 1.0, ex);
            const double want[6] = {0.0, E * std::sin(phi), E * std::cos(phi), 0.0, -beta * E * std::cos(phi),
                                    beta * E * std::sin(phi)};
            for (int k = 1; k <= 6; ++k) EXPECT_NEAR(f.word(k), want[k - 1], 2e-6 * E) << "E/cB " << k;
        }
    }
}

// A bunch of 1 mm at gamma 3 seen from 1 m: the field of its charge at its
// present position, E = q (1 - beta^2) / (4 pi eps0 R^2 (1 - beta^2
// sin^2 psi)^(3/2)) along R, c B = beta x E. On the path far ahead (a thin
// line seen at distance 0 from its path) the budget of source points takes
// the smallest length scale for the missing near-zone radius.
TEST(FieldClosedForm, ContractedCoulombFieldOfAShortBunch) {
    const double p = std::sqrt(8.0), beta = p / 3.0;
    build_path({{200.0, 0.0}}, 100.0, p);
    const Settings S = apply({.sigmat = 1e-3 / (clight * beta)});
    for (const auto& [x, y] : {std::pair{0.0, 1.0}, {1.0, 0.0}, {-1.0, 0.0}, {0.6, -0.8}, {3.0, 0.0}}) {
        SCOPED_TRACE(testing::Message() << "x=" << x << " y=" << y);
        const double R2 = x * x + y * y, R = std::sqrt(R2), sin2 = y * y / R2;
        const double E = ke * S.q0 * (1.0 - beta * beta) / (R2 * std::pow(1.0 - beta * beta * sin2, 1.5));
        const Field f = field_at(0.0, x, y, 0.0, 1.0, ex);
        EXPECT_EQ(f.E(3), 0.0);
        for (const auto& [got, want] : {std::pair{f.E(1), E * x / R}, {f.E(2), E * y / R}, {f.cB(3), beta * E * y / R}})
            EXPECT_NEAR(got, want, 3e-4 * E);
    }
}

// With the 1/gamma^2 terms dropped, a particle moving with the bunch on a
// straight line feels nothing: there is no radiation on a straight line.
TEST(FieldClosedForm, CoMovingParticleOnAStraightLine) {
    const double p = 100.0, gamma = std::sqrt(p * p + 1.0);
    build_path({{20.0, 0.0}}, 10.0, p);
    apply({.nogamma2 = true});
    for (double x : {-2e-3, 0.0, 1e-3}) {
        const Field f = field_at(0.0, x, 1e-4, 2e-4, gamma, ex);
        for (int k = 1; k <= 3; ++k) EXPECT_NEAR(f.E(k), 0.0, 1e-12 * std::fabs(f.cB(3))) << k;
        EXPECT_GT(std::fabs(f.cB(3)), 1.0);
    }
}

// Steady state on an arc of R = 1 m at gamma 1e4, far from the entry, a
// bunch of sigma = 1 mm much thinner than (sigma^2 R)^(1/3) = 1 cm: the field
// along the path is q0/(4 pi eps0 R^(2/3) sigma^(4/3)) G(y), y the distance
// ahead of the centre in sigma.
TEST(FieldClosedForm, SteadyStateCsrWakeOnAnArc) {
    const double p = 1e4, R = 1.0, sigma = 1e-3;
    const double beta = p / std::sqrt(p * p + 1.0), gamma = std::sqrt(p * p + 1.0);
    const double G[4][2] = {{0.0, -0.556340}, {-1.0, -0.485197}, {1.0, -0.059456}, {2.0, 0.179760}};
    // a round gaussian on the path, a thin line 1e-6 m beside it
    for (const auto& [method, offset] : {std::pair{2, 0.0}, {0, 1e-6}}) {
        SCOPED_TRACE(method);
        build_path({{4.0, 1.0 / R}}, 3.0, p);
        const Settings S =
            apply({.sigmat = sigma / (clight * beta), .method = method, .sigmaz = 1e-5, .nogamma2 = true});
        const double unit = ke * S.q0 / (std::pow(R, 2.0 / 3.0) * std::pow(sigma, 4.0 / 3.0));
        for (const auto& g : G) {
            const double a = g[0] * sigma / R;  // angle from the anchor
            const double tx = std::cos(a), ty = std::sin(a);
            const double e[3] = {tx, ty, 0.0};
            const Field f = field_at(0.0, R * std::sin(a) - offset * ty, R * (1.0 - std::cos(a)) + offset * tx,
                                     0.0, gamma, e);
            EXPECT_NEAR((f.E(1) * tx + f.E(2) * ty) / unit, g[1], 0.01 * 0.556340) << "y=" << g[0];
        }
    }
}

// E = -grad phi - dA/dt, c B = c curl A and the Lorenz gauge, the
// potentials and their time derivatives being components 7 to 14; spatial
// derivatives by central differences, near an arc between two straights.
TEST(FieldClosedForm, PotentialsGiveTheFields) {
    const double p = 5.0;
    build_path({{5.0, 0.0}, {2.0, 0.5}, {5.0, 0.0}}, 6.0, p);
    apply({.sigmat = 2e-3 / clight});
    const double r0[3] = {1e-3, 3e-3, 1e-3}, h = 1e-6;
    const Field f0 = field_at(0.0, r0[0], r0[1], r0[2], 1.0, ex);
    Field fp[3], fm[3];
    for (int i = 0; i < 3; ++i) {
        double rp[3] = {r0[0], r0[1], r0[2]}, rm[3] = {r0[0], r0[1], r0[2]};
        rp[i] += h;
        rm[i] -= h;
        fp[i] = field_at(0.0, rp[0], rp[1], rp[2], 1.0, ex);
        fm[i] = field_at(0.0, rm[0], rm[1], rm[2], 1.0, ex);
    }
    // d phi/dx_i and d A_j/dx_i
    auto Dphi = [&](int i) { return (fp[i].phi() - fm[i].phi()) / (2.0 * h); };
    auto DA = [&](int j, int i) { return (fp[i].A(j) - fm[i].A(j)) / (2.0 * h); };
    const double Emag = std::hypot(f0.E(1), f0.E(2), f0.E(3)), Bmag = std::hypot(f0.cB(1), f0.cB(2), f0.cB(3));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(f0.E(i + 1), -Dphi(i) - f0.dA_dt(i + 1), 1e-4 * Emag) << i;
    const double cc = clight;
    EXPECT_NEAR(f0.cB(1), cc * (DA(3, 1) - DA(2, 2)), 1e-4 * Bmag);
    EXPECT_NEAR(f0.cB(2), cc * (DA(1, 2) - DA(3, 0)), 1e-4 * Bmag);
    EXPECT_NEAR(f0.cB(3), cc * (DA(2, 0) - DA(1, 1)), 1e-4 * Bmag);
    const double divA = DA(1, 0) + DA(2, 1) + DA(3, 2);
    EXPECT_NEAR(divA, -f0.dphi_dt() / (cc * cc), 1e-4 * std::fabs(divA));
}

// Two plates 2 cm apart, a long bunch midway: Ex - i Ez = lam / (2 eps0 hc
// sinh(pi (x + i z)/hc)) (x across the path here). The images reach 2 m,
// so the taper changes little; the far images see a bunch of finite length.
TEST(FieldClosedForm, LineChargeBetweenTwoPlates) {
    const double p = 10.0, beta = p / std::sqrt(p * p + 1.0);
    build_path({{200.0, 0.0}}, 100.0, p);
    const Settings S = apply({.sigmat = 1.0 / (clight * beta), .hc = 0.02, .hmax = 2.0});
    const double lam = peak_density(S, beta);
    for (const auto& [y, z] : {std::pair{0.002, 0.0}, {0.002, 0.003}, {0.0, 0.004}, {0.01, -0.005}}) {
        SCOPED_TRACE(testing::Message() << "y=" << y << " z=" << z);
        const std::complex<double> w = lam * 2.0 * pi * ke / (S.hc * std::sinh(pi * std::complex<double>(y, z) / S.hc));
        const Field f = field_at(0.0, 0.0, y, z, 1.0, ex);
        EXPECT_NEAR(f.E(2), w.real(), 1e-4 * std::abs(w));
        EXPECT_NEAR(f.E(3), -w.imag(), 1e-4 * std::abs(w));
    }
}

// No plates (hc = 0), or plates beyond hmax, give the free-space field; the
// symmetric evaluation in the mid-plane adds no image term to the
// vertically odd components.
TEST(FieldClosedForm, PlateSwitches) {
    const double p = 50.0, gamma = std::sqrt(p * p + 1.0);
    build_path({{5.0, 0.0}, {1.0, 0.2}, {5.0, 0.0}}, 5.5, p);
    const double e[3] = {0.999, 0.0447101778, 0.0};
    auto eval = [&](double hc, double hmax, bool zsym) {
        apply({.hc = hc, .hmax = hmax, .zsym = zsym});
        return field_at(0.0, 2e-3, 1e-3, 0.0, gamma, e);
    };
    const Field free = eval(0.0, 0.5, false), beyond = eval(0.02, 0.015, false), plates = eval(0.02, 0.5, false),
                sym = eval(0.02, 0.5, true);
    auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-12 * std::fabs(b); };
    for (int k = 1; k <= 14; ++k) EXPECT_PRED2(same, beyond.word(k), free.word(k)) << k;
    for (int k : {1, 2, 6, 7, 11}) EXPECT_FALSE(same(plates.word(k), free.word(k))) << k;
    for (int k : {3, 4, 5, 10, 14}) EXPECT_PRED2(same, sym.word(k), free.word(k)) << k;
    for (int k : {1, 2, 6, 7, 8, 9, 11, 12, 13})
        EXPECT_NEAR(sym.word(k), plates.word(k), 1e-9 * std::fabs(plates.word(k)) + 1e-300) << k;
}

// A field call depends on its own arguments only: the same observer gives
// the same words, bit for bit, after other observers (the nearest-point
// search starts where the call says, the caches start afresh), and in a
// context of its own given the same settings and path.
TEST(FieldCall, DependsOnItsArgumentsOnly) {
    build_path({{5.0, 0.0}, {2.0, 0.5}, {5.0, 0.0}}, 6.0, 5.0);
    const Settings S{.sigmat = 2e-3 / clight, .hc = 0.02, .method = 3, .sigmaz = 1e-3, .sigmar = 2e-3};
    apply(S);
    const Field first = field_at(0.0, 1e-3, 3e-3, 1e-3, 1.0, ex);
    (void)field_at(0.0, -0.5, 0.02, 0.0, 1.0, ex);
    EXPECT_EQ(field_at(0.0, 1e-3, 3e-3, 1e-3, 1.0, ex).w, first.w);
    const auto own = std::make_unique<fieldlib::Context>();
    apply(S, *own);
    build_path({{5.0, 0.0}, {2.0, 0.5}, {5.0, 0.0}}, 6.0, 5.0, *own);
    EXPECT_EQ(field_at(0.0, 1e-3, 3e-3, 1e-3, 1.0, ex, *own).w, first.w);
}

// Two field libraries on two paths, a bend and a straight line, their calls
// and path builds interleaved: each gives, bit for bit, the fields it gives
// alone (a library's path is its own), and the two differ (the bend's
// radiation reaches the observer, the straight line's field is the
// near-static one).
TEST(FieldCall, TwoContextsOnTwoPaths) {
    const Settings S{.sigmat = 1e-3 / clight};
    const std::vector<Piece> bend = {{5.0, 0.0}, {2.0, 0.5}, {5.0, 0.0}}, straight = {{12.0, 0.0}};
    const double p = 100.0, gamma = std::sqrt(p * p + 1.0);
    const auto a = std::make_unique<fieldlib::Context>(), b = std::make_unique<fieldlib::Context>();
    auto at = [&](fieldlib::Context& c) { return field_at(0.0, 5e-3, 2e-3, 0.0, gamma, ex, c).w; };
    apply(S, *a);
    build_path(bend, 7.0, p, *a);
    const auto alone_a = at(*a);
    apply(S, *b);
    build_path(straight, 7.0, p, *b);
    const auto alone_b = at(*b);
    EXPECT_GT(std::fabs(alone_a[0] - alone_b[0]), 0.1 * std::fabs(alone_a[0]));
    for (int round = 0; round < 2; ++round) {
        build_path(bend, 7.0, p, *a);
        build_path(straight, 7.0, p, *b);
        EXPECT_EQ(at(*a), alone_a) << round;
        EXPECT_EQ(at(*b), alone_b) << round;
        build_path(bend, 7.0, p, *a);
        EXPECT_EQ(at(*b), alone_b) << round;
        EXPECT_EQ(at(*a), alone_a) << round;
    }
}

}  // namespace
