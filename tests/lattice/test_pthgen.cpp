// The design path: nodes, segments, limits and curvature changes of a path
// built on a lattice (drift, 30 degree arc, drift) for three anchors, path
// values on arcs against the exact circle, small turns, half turns, the
// frame transforms, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lattice/pthgen.hpp"
#include "lattice/track.hpp"
#include "support/design_paths.hpp"
#include "support/support.hpp"

namespace {

// the path the tests build and read
lattice::Pthcom pthcom;
using testsupport::pi;

lattice::PathPoint path_at(double s) {
    lattice::PathPoint o;
    lattice::path(pthcom, s, o);
    return o;
}

TEST(DesignPath, NodesSegmentsAndLimitsOnALattice) {
    // A boundary at x = 1 m, a 30 degree arc of radius 10 m (turning
    // clockwise), 2 m of drift to the third boundary; the bunch's reference
    // momentum 100.
    constexpr double P = 100.0;
    const double Larc = 10.0 * pi / 6.0;
    testsupport::new_lattice();
    bunch::prtcls.p0 = P;
    testsupport::add_section(0.0, 1.0);
    testsupport::add_section(10.0, Larc);
    testsupport::add_section(0.0, 2.0);
    struct AnchorCase {  // kappa: of each segment
        const char* name; double part[7]; std::int32_t ifb; double ct; int ipth0, npth; std::vector<double> spth, kappa;
    };
    const double beta = P / std::sqrt(P * P + 1.0);
    // the crossing of boundary 2 (the arc's end), to anchor on and near it
    double bp[7 * 3];
    const double start[6] = {0.5, 0.0, 0.0, P, 0.0, 0.0};
    lattice::fbpts(lattice::latcom, std::span<const double, 6>(start), 1, 0.5 / beta, foundation::CrossingView(bp, 3), bunch::prtcls.p0);
    const double* b2 = bp + 7;
    const double amid = pi / 12.0;  // the middle of the arc
    const AnchorCase cases[] = {
        {"in_the_arc",
         {1.0 + 10.0 * std::sin(amid), -10.0 * (1.0 - std::cos(amid)), 0.0, P, -amid, 0.0, 1.0}, 2,
         (1.0 + 0.5 * Larc) / beta, 2, 4, {-0.5 * Larc, 0.0, 0.5 * Larc, 0.5 * Larc + 2.0}, {0.1, 0.1, 0.0}},
        {"within_1e-9_of_a_crossing",
         {b2[0] + 0.5e-9 * std::cos(b2[4]), b2[1] + 0.5e-9 * std::sin(b2[4]), 0.0, P, b2[4], 0.0, 1.0}, 3,
         b2[6] + 0.5e-9 / beta, 2, 3, {-Larc - 0.5e-9, -0.5e-9, 2.0 - 0.5e-9}, {0.1, 0.0}},
        // the last: its curvature changes are checked below
        {"before_the_arc", {0.5, 0.0, 0.0, P, 0.0, 0.0, 1.0}, 1, 0.5 / beta, 1, 4,
         {0.0, 0.5, 5.735987755982989, 7.735987755982989}, {0.0, 0.1, 0.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        lattice::setpth(pthcom, lattice::latcom, c.part, c.ifb, c.ct, bunch::prtcls.p0);
        ASSERT_EQ(pthcom.ipth0, c.ipth0);
        ASSERT_EQ(pthcom.npth, c.npth);
        for (int k = 1; k <= c.npth; ++k) EXPECT_NEAR(pthcom.spth(k), c.spth[std::size_t(k - 1)], 1e-13);
        for (int k = 1; k < c.npth; ++k) {
            const double kap = c.kappa[std::size_t(k - 1)];
            EXPECT_NEAR(pthcom.seg(3, k), kap, 1e-12) << "segment " << k;
            EXPECT_EQ(bool(pthcom.lstr(k)), kap == 0.0);
            EXPECT_FALSE(pthcom.lsmall(k));
        }
        const double span = c.spth.back() - c.spth.front();
        EXPECT_NEAR(pthcom.Rintma, 0.5 * span, 1e-13);
        EXPECT_NEAR(pthcom.Slow, c.spth.front() - 1.0, 1e-12);
        EXPECT_NEAR(pthcom.Shigh, c.spth[std::size_t(c.ipth0 - 1)] + 1.0, 1e-12);
        EXPECT_NEAR(pthcom.sstpma, 2.0, 1e-12);  // the drift is shorter than the arc
    }
    lattice::PthChg rows[lattice::maxchg];
    std::int32_t n = -1;
    ASSERT_EQ(lattice::pthchg(pthcom, rows, n), 0);
    ASSERT_EQ(n, 2);
    const double want[2][4] = {{0.5 / beta, 0.5, 0.0, 0.1},
                               {5.735987755982989 / beta, 5.5, -1.3397459621556127, 0.0}};
    for (int r = 0; r < 2; ++r) {
        const double got[4] = {rows[r].ct, rows[r].x, rows[r].y, rows[r].kappa};
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], want[r][k], 1e-12) << "row " << r << " word " << k;
    }
    // a row array with room for npth + 1 rows is needed, or nothing is written
    EXPECT_EQ(lattice::pthchg(pthcom, std::span<lattice::PthChg>(rows, std::size_t(pthcom.npth)), n), 1);
}

// Path of a circle of radius R turning left (centre (0, R) in the lab),
// against the exact circle in the path frame.
void expect_on_circle(double R, double sa, double s_end, double tol) {
    const double kap = 1.0 / R;
    for (int i = -20; i <= 120; ++i) {
        const double s = s_end * i / 100.0;
        const lattice::PathPoint o = path_at(s - sa);
        // exact lab state, into the path frame
        const pathtest::State st = pathtest::walk({{s_end, kap}}, s);
        double pos[3], dir[3], t;
        lattice::pthtr1(pthcom, st.x, st.y, 0.0, st.phi, 0.0, 0.0, pos, dir, t);
        for (int k = 1; k <= 2; ++k) {
            EXPECT_NEAR(o.pos(k), pos[k - 1], tol) << "s=" << s;
            EXPECT_NEAR(o.tangent(k), dir[k - 1], 1e-12) << "s=" << s;
        }
        EXPECT_TRUE(o.pos(3) == 0.0 && o.tangent(3) == 0.0 && o.curv(3) == 0.0) << "s=" << s;
        const bool inside = s > 0.0 && s < s_end;
        // the curvature vector: magnitude 1/R towards the centre, none outside
        EXPECT_NEAR(o.curv(1), inside ? -kap * dir[1] : 0.0, 1e-14);
        EXPECT_NEAR(o.curv(2), inside ? kap * dir[0] : 0.0, 1e-14);
    }
}

TEST(DesignPath, ArcsAgainstTheCircle) {
    struct Case { const char* name; double R, sa, len; };
    // one segment each side of the anchor: a short turn, nearly a half turn,
    // exactly a half turn on one side, more than a half turn
    const Case cases[] = {{"quarter", 10.0, 5.0, 10.0 * pi / 2.0},
                          {"half_turn_after_anchor", 1.0, 1e-3, pi + 1e-3},
                          {"three_quarters", 2.0, 1.0, 2.0 * 1.5 * pi + 1.0},
                          {"long_arc", 5.0, 5.0 * pi, 10.0 * pi * 0.99}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pathtest::set_path(pthcom, {{c.len, 1.0 / c.R}}, c.sa, 10.0);
        expect_on_circle(c.R, c.sa, c.len, 1e-12 * std::fmax(1.0, c.R));
        // arcs near a multiple of pi do not divide by sin(kappa L)
        for (int j = 1; j < pthcom.npth; ++j) {
            const double kL = pthcom.seg(3, j) * (pthcom.spth(j + 1) - pthcom.spth(j));
            EXPECT_EQ(pthcom.turn(j) != 0.0, std::fabs(std::sin(kL)) < lattice::half_turn_sin) << "segment " << j;
        }
        // node tangents exact
        for (int k = 1; k <= pthcom.npth; ++k) {
            const lattice::PathPoint o = path_at(pthcom.spth(k));
            for (int i = 1; i <= 2; ++i) EXPECT_TRUE(o.tangent(i) == pthcom.dir2(i, k) && o.pos(i) == pthcom.pos2(i, k)) << k;
        }
        // time and gamma along the path
        const lattice::PathPoint o = path_at(2.0);
        EXPECT_DOUBLE_EQ(o.time(), 2.0 / pthcom.cbeta);
        EXPECT_DOUBLE_EQ(o.gamma(), std::sqrt(101.0));
    }
}

// The sharpest bend over a stretch of the path: none on a straight stretch;
// else the largest curvature of the segments it overlaps, with the whole
// extent of that arc (also of one that the anchor splits in two).
TEST(DesignPath, SharpestBendOfAStretch) {
    // 1 m straight, 1 m of radius 2 m, 1 m straight, 0.2 m of radius 0.1 m
    // turning the other way, 1 m straight; the anchor in the middle of the
    // first arc
    pathtest::set_path(pthcom, {{1.0, 0.0}, {1.0, 0.5}, {1.0, 0.0}, {0.2, -10.0}, {1.0, 0.0}}, 1.5, 100.0);
    ASSERT_EQ(pthcom.npth, 7);
    struct Case {
        const char* name;
        double lo, hi, kappa, begin, end;
    };
    const Case cases[] = {
        {"straight, ending just before the first arc", -3.0, -0.5 - 1e-9, 0.0, 0.0, 0.0},
        {"behind the anchor: the whole first arc", -0.2, -0.1, 0.5, -0.5, 0.5},
        {"ahead of the anchor: the whole first arc", 0.1, 0.2, 0.5, -0.5, 0.5},
        {"over both arcs: the sharper", 0.0, 1.6, 10.0, 1.5, 1.7},
        {"beginning just after the second arc", 1.7 + 1e-9, 10.0, 0.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const lattice::PathBend b = lattice::sharpest_bend(pthcom, c.lo, c.hi);
        EXPECT_NEAR(b.kappa, c.kappa, 1e-12);
        EXPECT_NEAR(b.s_begin, c.begin, 1e-12);
        EXPECT_NEAR(b.s_end, c.end, 1e-12);
    }
}

TEST(DesignPath, SmallTurnsStraightsAndTransforms) {
    // a turn of 1e-9 rad: the linear blend of the end tangents
    pathtest::set_path(pthcom, {{1.0, 1e-9}}, 0.25, 3.0);
    ASSERT_EQ(pthcom.npth, 3);
    EXPECT_TRUE(pthcom.lsmall(1) && pthcom.lsmall(2));
    expect_on_circle(1e9, 0.25, 1.0, 1e-15);
    // the same record rebuilt straight: no stale small-turn flag
    pathtest::set_path(pthcom, {{1.0, 0.0}}, 0.25, 3.0);
    EXPECT_TRUE(pthcom.lstr(1) && !pthcom.lsmall(1) && !pthcom.lsmall(2));
    // a straight path: tangent and zero curvature everywhere, no curvature
    // change but the 10 m point before the first node
    lattice::PthChg rows[lattice::maxchg];
    std::int32_t n = -1;
    ASSERT_EQ(lattice::pthchg(pthcom, rows, n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(rows[0].x, -10.25);
    EXPECT_EQ(rows[0].kappa, 0.0);
    pathtest::set_path(pthcom, {{1.0, 0.0}}, 0.0, 3.0);  // the path begins at the anchor
    ASSERT_EQ(lattice::pthchg(pthcom, rows, n), 0);
    EXPECT_EQ(n, 0);
    // a single node (one boundary, the anchor on it) extends 1 m each way
    pathtest::set_path(pthcom, {}, 0.0, 3.0);
    EXPECT_EQ(pthcom.npth, 1);
    EXPECT_EQ(pthcom.Rintma, 1.0);
    EXPECT_EQ(pthcom.Slow, -1.0);
    EXPECT_EQ(pthcom.Shigh, 1.0);
    EXPECT_EQ(pthcom.sstpma, 1e300);
    const lattice::PathPoint o = path_at(-4.0);
    EXPECT_EQ(o.pos(1), -4.0);
    EXPECT_EQ(o.curv(1), 0.0);
    // two boundaries at one point, the anchor on them: no extent either
    pathtest::set_path(pthcom, {{0.0, 0.0}}, 0.0, 3.0);
    EXPECT_EQ(pthcom.npth, 2);
    EXPECT_EQ(pthcom.Rintma, 1.0);
    EXPECT_DOUBLE_EQ(path_at(2.5).pos(1), 2.5);
    // pthtr2 undoes the rotation of pthtr1
    const std::vector<pathtest::Piece> bend = {{2.0, 0.3}};
    const pathtest::State a = pathtest::set_path(pthcom, bend, 1.3, 5.0);
    for (double phi : {0.0, 1.0, -2.5, 3.0}) {
        double pos[3], dir[3], t;
        lattice::pthtr1(pthcom, a.x + 0.5, a.y - 0.25, 0.1, phi, 0.0, 2.0, pos, dir, t);
        EXPECT_TRUE(dir[2] == 0.0 && pos[2] == 0.1);
        EXPECT_DOUBLE_EQ(t, 2.0 / 299792458.0);
        double v[2] = {dir[0], dir[1]}, w[2] = {pos[0], pos[1]};
        lattice::pthtr2(pthcom, v), lattice::pthtr2(pthcom, w);
        EXPECT_TRUE(std::fabs(v[0] - std::cos(phi)) < 1e-15 && std::fabs(v[1] - std::sin(phi)) < 1e-15) << phi;
        EXPECT_TRUE(std::fabs(w[0] - 0.5) < 1e-14 && std::fabs(w[1] + 0.25) < 1e-14) << phi;
    }
}

void setpth_without_boundaries() {
    testsupport::stdout_to_stderr();
    testsupport::new_lattice();
    const double part[7] = {0.0, 0.0, 0.0, 10.0, 0.0, 0.0, 1.0};
    lattice::setpth(pthcom, lattice::latcom, part, 1, 0.0, bunch::prtcls.p0);
}

TEST(DesignPathDeathTest, NoPathWithoutABoundary) {
    EXPECT_EXIT(setpth_without_boundaries(), testing::ExitedWithCode(1), "needs at least one field boundary");
}

}  // namespace
