// Tracking in awkward situations: particles that cannot reach their next
// boundary, stale boundary indices, practically infinite targets, and the
// self-force interpolated in time.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lattice/track.hpp"
#include "support/support.hpp"

namespace {

using namespace testsupport;
using lattice::latcom;

constexpr double P0 = 100.0;

// Drift lattice: boundaries at x = 1, 3, 6.
void drifts() {
    new_lattice();
    for (double ds : {1.0, 2.0, 3.0}) add_section(0.0, ds);
}

class Robust : public testing::Test {
protected:
    void SetUp() override { bunch::prtcls.p0 = P0; }
};

TEST_F(Robust, MovingAwayFromTheNextBoundaryEndsAtTheTargetTime) {
    drifts();
    const double b = beta(P0);
    // Forward leg heading -x, away from boundary 1; backward leg heading -x
    // too, so that back in time it moves away from boundary 1 behind it.
    struct Case {
        double x0;
        std::int32_t ifb;
        double target;
    } cases[] = {{0.0, 1, 2.0}, {2.0, 2, -5.0}};
    for (const auto& c : cases) {
        double s[7] = {c.x0, 1e-3, 0.0, P0, pi, 0.0, 0.0};
        std::int32_t ifb = c.ifb;
        bool lcross = false;
        double t = 0.0;
        testsupport::cstrck(s, ifb, lcross, t, c.target);
        EXPECT_EQ(t, c.target);
        EXPECT_FALSE(lcross);
        EXPECT_EQ(ifb, c.ifb);
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
        EXPECT_FALSE(lcross);
        EXPECT_EQ(ifb, 2);
        EXPECT_EQ(s[0], 2.0);
        EXPECT_TRUE(std::isfinite(t));
    }
}

TEST_F(Robust, ParticleAlreadyPastItsBoundaryCrossesWithoutGoingBackInTime) {
    drifts();
    double s[7] = {1.5, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    std::int32_t ifb = 1;  // stale: the particle is past boundary 1 already
    bool lcross = false;
    double t = 0.25;
    testsupport::cstrck(s, ifb, lcross, t, 2.0);
    EXPECT_TRUE(lcross);
    EXPECT_EQ(ifb, 2);
    EXPECT_EQ(t, 0.25);
    EXPECT_EQ(s[0], 1.5);
    // trck3d then carries it on to the target.
    double part[7] = {1.5, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    std::int32_t ip[2] = {1, 0};
    testsupport::trck3d(1, part, ip, 0.0, 1.0, 0.0, 1.0, nullptr, nullptr, false);
    EXPECT_EQ(ip[0], 2);
    EXPECT_NEAR(part[0], 1.5 + beta(P0), 1e-12);
    // Past the line but heading back through it (against its normal): that
    // is no crossing, neither while still behind the line nor after passing
    // it backwards.
    for (double T : {0.2, 2.0}) {
        double q[7] = {1.5, 0.0, 0.0, P0, pi, 0.0, 0.0};
        std::int32_t iq[2] = {1, 0};
        testsupport::trck3d(1, q, iq, 0.0, T, 0.0, T, nullptr, nullptr, false);
        EXPECT_EQ(iq[0], 1) << "T=" << T;
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
    std::int32_t ip[2] = {1, 0};
    testsupport::trck3d(1, part, ip, 0.0, T, 0.0, T, f1, f2, true);
    EXPECT_NEAR(part[3], P0 + 0.5 * (0.01 + 0.03) * T, 1e-12);
    const double g1[3] = {0.0, 0.2, -0.1}, g2[3] = {0.0, 0.6, 0.3};
    double q[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    std::int32_t iq[2] = {1, 0};
    testsupport::trck3d(1, q, iq, 0.0, T, 0.0, T, g1, g2, true);
    EXPECT_NEAR(q[4], 0.5 * (0.2 + 0.6) * T / P0, 1e-8);  // cos(theta) stays close to 1
    EXPECT_NEAR(q[5], 0.5 * (-0.1 + 0.3) * T / P0, 1e-12);
    // Without force both sets are ignored.
    double r[7] = {0.0, 0.0, 0.0, P0, 0.0, 0.0, 0.0};
    std::int32_t ir[2] = {1, 0};
    testsupport::trck3d(1, r, ir, 0.0, T, 0.0, T, f1, f2, false);
    EXPECT_EQ(r[3], P0);
}

void fbpts_moving_away() {
    stdout_to_stderr();
    drifts();
    bunch::prtcls.p0 = P0;
    const double s[6] = {0.0, 0.0, 0.0, P0, pi, 0.0};
    std::vector<double> bp(700);
    testsupport::fbpts(s, 1, 0.0, bp.data());
}

void fbpts_missing_backward() {
    stdout_to_stderr();
    // Boundary 1 the line x = 1, boundary 2 the line y = 0 through (3, 0).
    new_lattice();
    add_section(0.0, 1.0);
    add_section(0.0, 2.0, false, pi / 2.0);
    bunch::prtcls.p0 = P0;
    // Heading +y: it reaches y = 0 forward but never x = 1 backward.
    const double s[6] = {2.0, -1.0, 0.0, P0, pi / 2.0, 0.0};
    std::vector<double> bp(700);
    testsupport::fbpts(s, 2, 0.0, bp.data());
}

TEST(RobustDeathTest, CrossingStatesThatCannotBeFoundStopTheProcess) {
    // the particle, where its leg started and the boundary it misses, then the stop
    EXPECT_EXIT(fbpts_moving_away(), testing::ExitedWithCode(1),
                "the design path's particle, tracked forward from x=0 y=0 m, never crosses boundary 1\n"
                "error in fbpts \\(1\\)");
    EXPECT_EXIT(fbpts_missing_backward(), testing::ExitedWithCode(1),
                "the design path's particle, tracked backward from x=2 y=-1 m, never crosses boundary 1\n"
                "error in fbpts \\(2\\)");
}

}  // namespace
