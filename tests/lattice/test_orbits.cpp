// Closed-form orbits through drifts, dipoles, quadrupoles, multipoles and
// thin quadrupoles, and the time reversal of the tracking.
#include <gtest/gtest.h>

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

class Orbits : public testing::Test {
protected:
    void SetUp() override { bunch::prtcls.p0 = P0; }
};

TEST_F(Orbits, StraightDrift) {
    new_lattice();
    add_section(0.0, 1.0);  // x = 1
    add_section(0.0, 2.0);  // x = 3
    const double p = 50.0, phi = 0.01, th = 0.02;
    double part[7] = {0.0, 1e-3, 2e-3, p, phi, th, 1e-12};
    std::int32_t ifb[2] = {1, 0};
    const Bp bp = crossings(part);
    testsupport::trck3d(1, part, ifb, 0.0, 5.0, 0.0, 5.0, nullptr, nullptr, false);
    const double b = beta(p);
    const double vx = b * std::cos(phi) * std::cos(th), vy = b * std::sin(phi) * std::cos(th),
                 vz = b * std::sin(th);
    EXPECT_LT(std::fabs(part[0] - 5.0 * vx) + std::fabs(part[1] - (1e-3 + 5.0 * vy)) +
                  std::fabs(part[2] - (2e-3 + 5.0 * vz)) + std::fabs(part[3] - p) + std::fabs(part[4] - phi) +
                  std::fabs(part[5] - th),
              1e-12);
    EXPECT_EQ(ifb[0], 3);
    EXPECT_EQ(ifb[1], 0);
    // crossing of the lines x = 1 and x = 3 at t = x / vx
    for (int i = 1; i <= 2; ++i) {
        const double xb = latcom.fb(1, i), t = xb / vx;
        EXPECT_LT(std::fabs(bp(1, i) - xb) + std::fabs(bp(2, i) - (1e-3 + t * vy)) + std::fabs(bp(7, i) - t), 1e-12);
    }
}

TEST_F(Orbits, SectorDipoleOnAndOffMomentum) {
    const double R = 2.0, a = pi / 6.0;
    for (double delta : {0.0, 0.01, -0.02, 0.1}) {
        element(R, R * a);
        const double p = P0 * (1.0 + delta), b = beta(p);
        double part[7] = {0.0, 0.0, 0.0, p, 0.0, 0.0, 0.0};
        const Bp bp = crossings(part);
        // Circle of radius Rp = R p/p0 from (1, 0) heading +x, turning clockwise,
        // cut by the exit line through P2 with normal (cos a, -sin a).
        const double Rp = R * p / P0;
        const double psi = a + std::asin(-std::sin(a) * (1.0 - R / Rp));
        const double x2 = 1.0 + Rp * std::sin(psi), y2 = -Rp + Rp * std::cos(psi);
        const double t2 = 1.0 / b + Rp * psi / b;
        double err = std::fabs(bp(1, 2) - x2) + std::fabs(bp(2, 2) - y2) + std::fabs(bp(5, 2) + psi) +
                     std::fabs(bp(7, 2) - t2) + std::fabs(bp(7, 1) - 1.0 / b) + std::fabs(bp(4, 2) - p);
        // straight on to the line of boundary 3
        const double nx = latcom.fb(5, 3), ny = latcom.fb(6, 3);
        const double dx = std::cos(psi), dy = -std::sin(psi);
        const double L = (nx * (latcom.fb(1, 3) - x2) + ny * (latcom.fb(2, 3) - y2)) / (nx * dx + ny * dy);
        err += std::fabs(bp(1, 3) - (x2 + L * dx)) + std::fabs(bp(2, 3) - (y2 + L * dy)) +
               std::fabs(bp(7, 3) - (t2 + L / b));
        if (delta == 0.0)  // on momentum the particle follows the reference line exactly
            err += std::fabs(bp(1, 2) - latcom.fb(1, 2)) + std::fabs(bp(2, 2) - latcom.fb(2, 2)) +
                   std::fabs(std::cos(bp(5, 2)) - latcom.fb(3, 2)) + std::fabs(std::sin(bp(5, 2)) - latcom.fb(4, 2));
        EXPECT_LT(err, 1e-10) << "delta=" << delta;
    }
}

TEST_F(Orbits, LongArcFollowedExactlyInOneLeg) {
    // 250 degrees of a 0.5 m circle turning counter-clockwise: the force-free
    // leg follows the ideal circle exactly whatever the step count.
    const double R = -0.5, ang = 250.0 / 180.0 * pi;
    element(R, std::fabs(R) * ang);
    double part[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    const Bp bp = crossings(part);
    EXPECT_LT(std::fabs(bp(1, 2) - latcom.fb(1, 2)) + std::fabs(bp(2, 2) - latcom.fb(2, 2)) +
                  std::fabs(std::cos(bp(5, 2)) - latcom.fb(3, 2)) + std::fabs(std::sin(bp(5, 2)) - latcom.fb(4, 2)) +
                  std::fabs(bp(7, 2) - (1.0 + std::fabs(R) * ang) / beta(P0)),
              1e-12);
}

// Rectangular dipole: both faces perpendicular to the chord, so the
// reference line meets each at alpha/2.
TEST_F(Orbits, RectangularDipoleVerticalEdgeFocusing) {
    const double R = 2.0, a = pi / 6.0;
    // Transfer matrix edge * drift(R alpha) * edge with the edge focal
    // strength tan(alpha/2)/R, acting on (z, z').
    const double k = std::tan(a / 2.0) / R, L = R * a;
    const double m11 = 1.0 - L * k, m12 = L, m21 = -k - k * (1.0 - L * k), m22 = 1.0 - L * k;
    element(R, R * a, -a / 2.0);
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

TEST_F(Orbits, RectangularDipoleParallelRayStaysParallel) {
    // A ray parallel to the reference and displaced by u0 runs on the
    // reference circle moved along the (parallel) faces: it leaves parallel
    // to the reference, displaced by u0, through P2 + u0/cos(alpha/2) f with
    // f the face direction; the arc length is unchanged.
    const double R = 2.0, a = pi / 6.0, b = beta(P0);
    element(R, R * a, -a / 2.0);
    const double fx = std::sin(a / 2.0), fy = std::cos(a / 2.0);
    for (double u0 : {1e-2, -3e-2, 1e-4}) {
        double part[7] = {0.0, u0, 0.0, P0, 0.0, 0.0, 0.0};
        const Bp bp = crossings(part);
        const double sh = u0 / std::cos(a / 2.0), t1 = (1.0 + u0 * std::tan(a / 2.0)) / b;
        const double err = std::fabs(bp(1, 1) - (1.0 + sh * fx)) + std::fabs(bp(2, 1) - sh * fy) +
                           std::fabs(bp(7, 1) - t1) + std::fabs(bp(1, 2) - (latcom.fb(1, 2) + sh * fx)) +
                           std::fabs(bp(2, 2) - (latcom.fb(2, 2) + sh * fy)) + std::fabs(bp(5, 2) + a) +
                           std::fabs(bp(7, 2) - (t1 + R * a / b));
        EXPECT_LT(err, 1e-10) << "u0=" << u0;
    }
}

TEST_F(Orbits, ThickQuadrupoleMatrices) {
    const double Lq = 0.5, k = 2.0, w = std::sqrt(k);
    const double c = std::cos(w * Lq), s = std::sin(w * Lq), ch = std::cosh(w * Lq), sh = std::sinh(w * Lq);
    // alpha = 0: focusing horizontally; alpha = 90 degrees: the rotation by
    // m*alpha = 180 degrees turns the field round, so the planes swap.
    struct Q {
        double alpha, h, v;
    } quads[] = {{0.0, 0.0, 0.0}, {pi / 2.0, 0.0, 0.0}, {0.0, 3e-3, -2e-3}};
    for (const auto& q : quads) {
        element(0.0, Lq, U, 2, q.h, q.v, k, q.alpha);
        const bool swapped = q.alpha != 0.0;
        const double hc = swapped ? ch : c, hs = swapped ? sh / w : s / w, hd = swapped ? w * sh : -w * s;
        const double vc = swapped ? c : ch, vs = swapped ? s / w : sh / w, vd = swapped ? -w * s : w * sh;
        for (int j = 0; j < 4; ++j) {
            double st[4] = {0, 0, 0, 0};
            st[j] = 1e-6;
            // offsets relative to the magnetic centre (left = +y here)
            double part[7] = {0.0, q.h + st[0], q.v + st[2], P0, st[1], st[3], 0.0};
            const Bp bp = crossings(part);
            const double u1 = bp(2, 1) - q.h, up1 = std::tan(bp(5, 1));
            const double z1 = bp(3, 1) - q.v, zp1 = std::tan(bp(6, 1));
            const double u2 = hc * u1 + hs * up1, up2 = hd * u1 + hc * up1;
            const double z2 = vc * z1 + vs * zp1, zp2 = vd * z1 + vc * zp1;
            const double err = (std::fabs(bp(2, 2) - q.h - u2) + std::fabs(std::tan(bp(5, 2)) - up2) +
                                std::fabs(bp(3, 2) - q.v - z2) + std::fabs(std::tan(bp(6, 2)) - zp2)) /
                               1e-6;
            EXPECT_LT(err, 1e-6) << "alpha=" << q.alpha << " h=" << q.h;
        }
    }
}

TEST_F(Orbits, MultipoleShortElementKick) {
    // Over a short length Ls a multipole of order m gives the kicks
    // du' = -Re W Ls and dz' = Im W Ls with
    // W = s/(m-1)! (u + i z)^(m-1) e^(-i m alpha), for p = p0 (the sextupole:
    // du' = -(s/2)(u^2 - z^2) Ls, dz' = s u z Ls). The expected values use the
    // gamma function and the polar form of the power.
    struct Case {
        int m;
        double s, alpha, u, z;
    } cases[] = {
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

TEST_F(Orbits, ThinQuadrupoleKickAndFocalPoint) {
    new_lattice();
    add_section(0.0, 1.0);                   // x = 1
    thin_quad(add_section(0.0, 1.0), 0.5, 2.0);  // x = 2, L k = 1 per m
    add_section(0.0, 5.0);                   // x = 7
    const double y0 = 1e-3, z0 = 1e-3;
    double part[7] = {1.5, y0, z0, P0, 0.0, 0.0, 0.0};
    std::int32_t ifb[2] = {2, 0};
    const double T = 2.5 / beta(P0);
    testsupport::trck3d(1, part, ifb, 0.0, T, 0.0, T, nullptr, nullptr, false);
    EXPECT_EQ(ifb[0], 3);
    const double up = std::tan(part[4]), zp = std::tan(part[5]) / std::cos(part[4]);
    // Back on the line x = 2 the particle sits at its crossing offsets.
    const double y2 = part[1] + (2.0 - part[0]) * up, z2 = part[2] + (2.0 - part[0]) * zp;
    // Focal point 1/(L k) = 1 m behind the lens: y = 0; vertically z doubles.
    const double y3 = part[1] + (3.0 - part[0]) * up, z3 = part[2] + (3.0 - part[0]) * zp;
    EXPECT_LT(std::fabs(up + 1e-3) + std::fabs(zp - 1e-3) + std::fabs(y2 - y0) + std::fabs(z2 - z0) +
                  std::fabs(y3) + std::fabs(z3 - 2.0 * z0),
              1e-12);
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
    std::int32_t ifb[2] = {1, 0};
    testsupport::trck3d(1, part, ifb, 0.0, 3.3, 0.0, 3.3, nullptr, nullptr, false);
    EXPECT_EQ(ifb[0], 5);
    double t = 3.3;
    bool lcross = false;
    for (int legs = 0; t > 0.0 && legs < 100; ++legs) testsupport::cstrck(part, ifb[0], lcross, t, 0.0);
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(ifb[0], 1);
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(part[k], start[k], 1e-10) << k;
}

}  // namespace
