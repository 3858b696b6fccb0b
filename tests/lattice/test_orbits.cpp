// Closed-form orbits through dipoles, quadrupoles and multipoles (drifts,
// thin and thick quadrupoles, sector and rectangular bends: the decks
// thin_quad_focus, long_drift_leg and examples/quad_channel, sector_dipole,
// chicane), the time reversal of the tracking, and tracking in
// awkward situations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "lattice/track.hpp"
#include "support/support.hpp"

namespace {

using namespace testsupport;
using lattice::latcom;

constexpr double P0 = 100.0;  // reference momentum, m*c

// Crossing states bp(k, i) of every boundary i.
struct Bp {
    std::vector<double> v = std::vector<double>(7 * 100, 0.0);
    double operator()(int k, int i) const { return v[7 * (i - 1) + (k - 1)]; }
};

Bp crossings(const double* s) {
    Bp bp;
    testsupport::fbpts(s, 1, 0.0, bp.v.data());
    return bp;
}

// An entry boundary at x = 1, a section of radius r (0: straight) and length
// ds, then 1 m of drift; psi, when given, the lab angle of the normals of the
// element's faces. A multipole of order m > 0 with offsets h, v.
void element(double r, double ds, double psi = U, int m = 0, double h = 0, double v = 0, double strength = 0,
             double alpha = 0) {
    new_lattice();
    add_section(0.0, 1.0, false, psi);
    const int e = add_section(r, ds, false, psi);
    if (m > 0) multipole(e, m, h, v, strength, alpha);
    add_section(0.0, 1.0);
}

// How far the crossing of boundary 2 lies off the reference line's.
double off_reference(const Bp& bp) {
    return std::fabs(bp(1, 2) - latcom.x(2)) + std::fabs(bp(2, 2) - latcom.y(2)) +
           std::fabs(std::cos(bp(5, 2)) - latcom.tx(2)) + std::fabs(std::sin(bp(5, 2)) - latcom.ty(2));
}

class Orbits : public testing::Test {
protected:
    void SetUp() override { bunch::prtcls.p0 = P0; }
};

// A sector dipole on and off momentum: examples/sector_dipole. Here 250
// degrees of a 0.5 m circle turning counter-clockwise: the force-free leg
// follows the ideal circle exactly whatever the step count.
TEST_F(Orbits, LongArcFollowsTheCircle) {
    const double ang = 250.0 / 180.0 * pi;
    element(-0.5, 0.5 * ang);
    double part[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    const Bp bp = crossings(part);
    EXPECT_LT(off_reference(bp) + std::fabs(bp(7, 2) - (1.0 + 0.5 * ang) / beta(P0)), 1e-12);
}

// Rectangular dipole: both faces perpendicular to the chord, so the
// reference line meets each at alpha/2 (the horizontal orbits through such
// faces: examples/chicane).
TEST_F(Orbits, RectangularDipoleEdgeFocusing) {
    const double R = 2.0, a = pi / 6.0;
    element(R, R * a, -a / 2.0);
    // Vertically: the transfer matrix edge * drift(R alpha) * edge with the
    // edge focal strength tan(alpha/2)/R, acting on (z, z').
    const double k = std::tan(a / 2.0) / R, L = R * a;
    const double m11 = 1.0 - L * k, m12 = L, m21 = -k - k * (1.0 - L * k), m22 = 1.0 - L * k;
    for (auto zt : {std::pair{1e-6, 0.0}, std::pair{0.0, 1e-6}, std::pair{-2e-6, 1e-6}}) {
        double part[7] = {0.0, 0.0, zt.first, P0, 0.0, zt.second, 0.0};
        const Bp bp = crossings(part);
        const double z1 = bp(3, 1), zp1 = std::tan(bp(6, 1));
        const double z2 = m11 * z1 + m12 * zp1, zp2 = m21 * z1 + m22 * zp1;
        EXPECT_LT((std::fabs(bp(3, 2) - z2) + std::fabs(std::tan(bp(6, 2)) - zp2)) / 1e-6, 1e-9);
    }
    // The rectangular edges focus; the faces of a sector dipole, normal to
    // the particle's direction, give no kick.
    double part[7] = {0.0, 0.0, 1e-6, P0, 0.0, 0.0, 0.0};
    EXPECT_LT(crossings(part)(6, 2), -1e-7);
    element(R, R * a);
    EXPECT_NEAR(crossings(part)(6, 2), 0.0, 1e-18);
}

// The unrotated quadrupole on its axis: examples/quad_channel. Rotated by
// alpha = 90 degrees (m*alpha = 180 degrees turns the field round, so the
// planes swap) and offset from the reference line.
TEST_F(Orbits, ThickQuadrupoleRotatedAndOffset) {
    const double Lq = 0.5, k = 2.0, w = std::sqrt(k);
    const double c = std::cos(w * Lq), s = std::sin(w * Lq), ch = std::cosh(w * Lq), sh = std::sinh(w * Lq);
    for (const auto q : {std::array<double, 2>{0.0, 0.0}, {3e-3, -2e-3}}) {
        const double qh = q[0], qv = q[1];
        element(0.0, Lq, U, 2, qh, qv, k, pi / 2.0);
        const double hc = ch, hs = sh / w, hd = w * sh, vc = c, vs = s / w, vd = -w * s;
        for (int j = 0; j < 4; ++j) {
            double st[4] = {0, 0, 0, 0};
            st[j] = 1e-6;
            // offsets relative to the magnetic centre (left = +y here)
            double part[7] = {0.0, qh + st[0], qv + st[2], P0, st[1], st[3], 0.0};
            const Bp bp = crossings(part);
            const double u1 = bp(2, 1) - qh, up1 = std::tan(bp(5, 1));
            const double z1 = bp(3, 1) - qv, zp1 = std::tan(bp(6, 1));
            const double u2 = hc * u1 + hs * up1, up2 = hd * u1 + hc * up1;
            const double z2 = vc * z1 + vs * zp1, zp2 = vd * z1 + vc * zp1;
            const double err = (std::fabs(bp(2, 2) - qh - u2) + std::fabs(std::tan(bp(5, 2)) - up2) +
                                std::fabs(bp(3, 2) - qv - z2) + std::fabs(std::tan(bp(6, 2)) - zp2)) /
                               1e-6;
            EXPECT_LT(err, 1e-6) << "h=" << qh << " j=" << j;
        }
    }
}

TEST_F(Orbits, MultipoleShortElementKick) {
    // Over a short length Ls a multipole of order m gives the kicks
    // du' = -Re W Ls and dz' = Im W Ls with
    // W = s/(m-1)! (u + i z)^(m-1) e^(-i m alpha), for p = p0 (the sextupole:
    // du' = -(s/2)(u^2 - z^2) Ls, dz' = s u z Ls). The expected values use the
    // gamma function and the polar form of the power.
    struct Case { int m; double s, alpha, u, z; } cases[] = {
        {3, 20.0, 0.0, 2e-3, 1e-3}, {3, 20.0, 0.3, 2e-3, -1e-3}, {5, 20.0, 0.1, 2e-3, 1e-3},
        {8, 20.0, -0.2, 3e-3, 2e-3},
        {22, 20.0, 0.0, 2e-3, 1e-3},  // (m-1)! = 21! lies beyond the range of a 64-bit integer
    };
    const double Ls = 1e-3;
    for (const auto& c : cases) {
        element(0.0, Ls, U, c.m, 0.0, 0.0, c.s, c.alpha);
        double part[7] = {0.0, c.u, c.z, P0, 0.0, 0.0, 0.0};
        const Bp bp = crossings(part);
        const double r = std::hypot(c.u, c.z), arg = std::atan2(c.z, c.u);
        const double mag = c.s / std::tgamma(static_cast<double>(c.m)) * std::pow(r, c.m - 1);
        const double ang = (c.m - 1) * arg - c.m * c.alpha;
        const double dup = -mag * std::cos(ang) * Ls, dzp = mag * std::sin(ang) * Ls;
        EXPECT_LT(std::fmax(std::fabs(std::tan(bp(5, 2)) - dup) / std::fabs(dup),
                            std::fabs(std::tan(bp(6, 2)) - dzp) / std::fabs(dzp)),
                  1e-5)
            << "m=" << c.m << " alpha=" << c.alpha;
    }
    // An order as high as the pole count allows: the field is far below any
    // other term, the element tracks as a drift, promptly and without NaN.
    element(0.0, 0.5, U, 1073741823, 0.0, 0.0, 20.0, 0.0);
    double part[7] = {0.0, 0.5, 2.0, P0, 0.0, 0.0, 0.0};
    const Bp bp = crossings(part);
    EXPECT_TRUE(bp(2, 2) == 0.5 && bp(3, 2) == 2.0 && bp(5, 2) == 0.0 && bp(6, 2) == 0.0);
    EXPECT_NEAR(bp(1, 2), 1.5, 1e-15);
}

TEST_F(Orbits, MultipoleWithTwoPolesTracksLikeTheDipole) {
    const double R = 2.0, a = pi / 6.0;
    for (double psi : {U, -a / 2.0}) {  // sector, rectangular
        double part[7] = {0.0, 1e-3, 1e-3, 1.01 * P0, 1e-3, 2e-3, 0.0};
        element(R, R * a, psi);
        const Bp dipole = crossings(part);
        element(R, R * a, psi, 1, 0.0, 0.0, 1.0 / R, 0.0);
        const Bp multi = crossings(part);
        for (int i = 0; i < 7 * 3; ++i) EXPECT_NEAR(multi.v[i], dipole.v[i], 1e-12) << "psi=" << psi << " i=" << i;
    }
}

TEST_F(Orbits, ForwardThenBackwardRestoresTheState) {
    const double R = 2.0, a = pi / 6.0;
    new_lattice();
    add_section(0.0, 1.0, false, -a / 2.0);
    add_section(R, R * a, false, -a / 2.0);
    add_section(0.0, 0.5);
    multipole(add_section(0.0, 0.4), 2, 0.0, 0.0, 1.5, 0.0);
    add_section(0.0, 1.0);
    const double start[6] = {0.0, 2e-3, -1e-3, 1.02 * P0, 1e-3, 2e-3};
    double part[7] = {start[0], start[1], start[2], start[3], start[4], start[5], 0.0};
    std::int32_t ifb = track1(part, 1, 3.3);
    EXPECT_EQ(ifb, 5);
    double t = 3.3;
    bool lcross = false;
    for (int legs = 0; t > 0.0 && legs < 100; ++legs) testsupport::cstrck(part, ifb, lcross, t, 0.0);
    EXPECT_TRUE(t == 0.0 && ifb == 1) << t << " " << ifb;
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(part[k], start[k], 1e-10) << k;
}

// Drift lattice: boundaries at x = 1, 3, 6.
void drifts() {
    new_lattice();
    for (double ds : {1.0, 2.0, 3.0}) add_section(0.0, ds);
}

// Tracking in awkward situations: particles that cannot reach their next
// boundary, stale boundary indices, practically infinite targets, and the
// self-force interpolated in time.
class Robust : public Orbits {};

TEST_F(Robust, MovingAwayFromTheNextBoundaryEndsAtTheTargetTime) {
    drifts();
    const double b = beta(P0);
    // Forward leg heading -x, away from boundary 1; backward leg heading -x
    // too, so that back in time it moves away from boundary 1 behind it.
    struct Case { double x0; std::int32_t ifb; double target; } cases[] = {{0.0, 1, 2.0}, {2.0, 2, -5.0}};
    for (const auto& c : cases) {
        double s[7] = {c.x0, 1e-3, 0.0, P0, pi, 0.0, 0.0};
        std::int32_t ifb = c.ifb;
        bool lcross = false;
        double t = 0.0;
        testsupport::cstrck(s, ifb, lcross, t, c.target);
        EXPECT_TRUE(t == c.target && !lcross && ifb == c.ifb) << t << " " << ifb;
        for (int k = 0; k < 6; ++k) EXPECT_TRUE(std::isfinite(s[k])) << k;
        EXPECT_NEAR(s[0], c.x0 - b * c.target, 1e-12);
    }
    // With a practically infinite target the leg cannot end anywhere: no
    // crossing, no move, no NaN.
    for (double target : {1e300, -1e300}) {
        double s[7] = {2.0, 0.0, 0.0, P0, pi, 0.0, 0.0};
        std::int32_t ifb = 2;
        bool lcross = true;
        double t = 0.0;
        testsupport::cstrck(s, ifb, lcross, t, target);
        EXPECT_TRUE(!lcross && ifb == 2 && s[0] == 2.0 && std::isfinite(t)) << target;
    }
}

TEST_F(Robust, ParticleAlreadyPastItsBoundaryCrossesWithoutGoingBackInTime) {
    drifts();
    double s[7] = {1.5, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    std::int32_t ifb = 1;  // stale: the particle is past boundary 1 already
    bool lcross = false;
    double t = 0.25;
    testsupport::cstrck(s, ifb, lcross, t, 2.0);
    EXPECT_TRUE(lcross && ifb == 2 && t == 0.25 && s[0] == 1.5) << ifb << " " << t << " " << s[0];
    // trck3d then carries it on to the target.
    double part[7] = {1.5, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    EXPECT_EQ(track1(part, 1, 1.0), 2);
    EXPECT_NEAR(part[0], 1.5 + beta(P0), 1e-12);
    // Past the line but heading back through it (against its normal): that
    // is no crossing, neither while still behind the line nor after passing
    // it backwards.
    for (double T : {0.2, 2.0}) {
        double q[7] = {1.5, 0.0, 0.0, P0, pi, 0.0, 0.0};
        EXPECT_EQ(track1(q, 1, T), 1) << "T=" << T;
        EXPECT_NEAR(q[0], 1.5 - beta(P0) * T, 1e-12);
    }
}

TEST_F(Robust, ForceInterpolatedLinearlyInTime) {
    // In a drift dp/d(ct) = F1 and dphi/d(ct) = F2/p (p fixed when F1 = 0):
    // the integral of a force linear in c*t is the mean of its end values.
    new_lattice();
    add_section(0.0, 10.0);
    const double T = 2.0;
    const double f1[3] = {0.01, 0.0, 0.0}, f2[3] = {0.03, 0.0, 0.0};
    double part[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    track1(part, 1, T, f1, f2);
    EXPECT_NEAR(part[3], P0 + 0.5 * (0.01 + 0.03) * T, 1e-12);
    const double g1[3] = {0.0, 0.2, -0.1}, g2[3] = {0.0, 0.6, 0.3};
    double q[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    track1(q, 1, T, g1, g2);
    EXPECT_NEAR(q[4], 0.5 * (0.2 + 0.6) * T / P0, 1e-8);  // cos(theta) stays close to 1
    EXPECT_NEAR(q[5], 0.5 * (-0.1 + 0.3) * T / P0, 1e-12);
    // Without force both sets are ignored.
    double r[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    track1(r, 1, T, f1, f2, false);
    EXPECT_EQ(r[3], P0);
}

// The crossing states of a particle at s before boundary ifb; the child of a
// death test sends its fatal stop to standard error.
void fbpts_stop(std::array<double, 6> s, std::int32_t ifb) {
    stdout_to_stderr();
    std::vector<double> bp(700);
    testsupport::fbpts(s.data(), ifb, 0.0, bp.data());
}

TEST(RobustDeathTest, CrossingStatesThatCannotBeFoundStopTheProcess) {
    // the particle, where its leg started and the boundary it misses, then the stop
    bunch::prtcls.p0 = P0;
    drifts();
    EXPECT_EXIT(fbpts_stop({0.0, 0.0, 0.0, P0, pi, 0.0}, 1), testing::ExitedWithCode(1),
                "the design path's particle, tracked forward from x=0 y=0 m, never crosses boundary 1\n"
                "error in fbpts \\(1\\)");
    // Boundary 1 the line x = 1, boundary 2 the line y = 0 through (3, 0):
    // heading +y it reaches y = 0 forward but never x = 1 backward.
    new_lattice();
    add_section(0.0, 1.0);
    add_section(0.0, 2.0, false, pi / 2.0);
    EXPECT_EXIT(fbpts_stop({2.0, -1.0, 0.0, P0, pi / 2.0, 0.0}, 2), testing::ExitedWithCode(1),
                "the design path's particle, tracked backward from x=2 y=-1 m, never crosses boundary 1\n"
                "error in fbpts \\(2\\)");
}

}  // namespace
