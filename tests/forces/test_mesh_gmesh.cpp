// The Green's-function mesh: graded runs, column spacing, column limits,
// sample counts and chunks, and the fatal exits of the meshing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "forces/gmesh.hpp"
#include "forces/ptom.hpp"
#include "support/support.hpp"

namespace {

using forces::greenc;
using forces::greenm;
using forces::greens;

// The region polygon of greenc: the 20-gon around a rectangle.
void region(double x0, double x1, double y0, double y1) {
    auto h = [&](double phi) {
        const double c = std::cos(phi), s = std::sin(phi);
        return std::max(std::max(x0 * c + y0 * s, x1 * c + y0 * s), std::max(x0 * c + y1 * s, x1 * c + y1 * s));
    };
    forces::bounda(h, 0.0, greenc.poly, 20);
}

std::vector<double> columns() { return {greenm.xg.data(), greenm.xg.data() + greens.nx}; }

TEST(GreenMesh, GradedAndUniformRuns) {
    struct Case { double xend, h0, hmax; bool grow, shrink; std::vector<double> want; };
    std::vector<double> uni;  // 0 to 10 with steps of at most 0.2: int(10/0.2 + 1) = 51 steps
    for (int k = 1; k <= 51; ++k) uni.push_back(k == 51 ? 10.0 : k * (10.0 / 51));
    const std::vector<Case> cases = {
        {1, 0.3, 5, true, false, {4.0 / 19, 10.0 / 19, 1}},
        {1, 0.3, 5, false, true, {9.0 / 19, 15.0 / 19, 1}},
        {2, 0.3, 5, true, true, {4.0 / 19, 10.0 / 19, 1, 28.0 / 19, 34.0 / 19, 2}},
        {10, 0.2, 0.2, false, false, uni},
    };
    for (const auto& c : cases) {
        std::vector<double> x(60, -1.0);
        x[0] = 0.0;
        int n = 1;
        ASSERT_EQ(forces::gmeshf(x, n, c.xend, c.h0, c.hmax, 1.5, c.grow, c.shrink), 0);
        ASSERT_EQ(n, int(c.want.size()) + 1);
        for (std::size_t k = 0; k < c.want.size(); ++k) EXPECT_NEAR(x[k + 1], c.want[k], 1e-14);
    }
    // a long graded run: steps grow by 1.5 up to a cap, then stay; it ends on xend
    std::vector<double> x(60, 0.0);
    int n = 1;
    ASSERT_EQ(forces::gmeshf(x, n, 20.0, 0.3, 1.0, 1.5, true, false), 0);
    EXPECT_EQ(x[std::size_t(n - 1)], 20.0);
    const double hcap = x[std::size_t(n - 1)] - x[std::size_t(n - 2)];
    EXPECT_LE(hcap, 1.0);
    for (std::size_t k = 2; k < std::size_t(n); ++k) {
        const double h1 = x[k - 1] - x[k - 2], h2 = x[k] - x[k - 1];
        EXPECT_TRUE(std::abs(h2 - 1.5 * h1) < 1e-12 || std::abs(h2 - hcap) < 1e-12) << k;
    }
    // values that do not fit: status 1, nothing written
    std::vector<double> small(10, -1.0);
    n = 1;
    EXPECT_EQ(forces::gmeshf(small, n, 10.0, 0.2, 0.2, 1.5, false, false), 1);
    EXPECT_TRUE(n == 1 && small[1] == -1.0);
}

// Columns 0.2 sigma apart within +-5 sigma and around the crossing of a past
// curvature change's front, graded by 1.5 up to 5 sigma (0.5 sigma shielded).
TEST(GreenMesh, ColumnSpacingFreeSpaceShieldedBeyondTheSourceAndAtAFront) {
    run::reset_state();
    const double sig = 1e-3;
    // a change 130 sigma ago at (-100 sigma, 0): its front crosses near x = 30 sigma; one still ahead
    const std::vector<lattice::PthChg> rows = {{-130 * sig, -100 * sig, 0.0, 0.5}, {5 * sig, 0.0, 0.0, 0.0}};
    struct Case { const char* name; double x0, x1, shield, coarse; int nfine; bool front; };
    const std::vector<Case> cases = {
        {"narrow free space", -2 * sig, 3 * sig, 0.0, 0.2 * sig, 1, false},
        {"wide free space", -60 * sig, 40 * sig, 0.0, 5 * sig, 1, false},
        {"wide shielded", -60 * sig, 40 * sig, 0.01, 0.5 * sig, 1, false},
        {"beyond +5 sigma", 12 * sig, 30 * sig, 0.0, 5 * sig, 0, false},
        {"front", -60 * sig, 60 * sig, 0.0, 5 * sig, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        region(c.x0, c.x1, -2 * sig, 2 * sig);
        double sra[forces::maxfin], srb[forces::maxfin], rmax[forces::maxfin];
        int nf = -1;
        ASSERT_EQ(forces::gmeshs(sig, c.shield, forces::ChgRows(rows.data(), c.front ? 2u : 0u), sra, srb, rmax, nf), 0);
        EXPECT_EQ(nf, c.nfine);
        const auto x = columns();
        EXPECT_DOUBLE_EQ(x.front(), c.x0);
        EXPECT_DOUBLE_EQ(x.back(), c.x1);
        double hmax = 0.0;
        for (std::size_t k = 1; k < x.size(); ++k) {
            const double h = x[k] - x[k - 1];
            hmax = std::max(hmax, h);
            EXPECT_GT(h, 0.0);
            const bool fine = (x[k - 1] > -5 * sig && x[k] < 5 * sig) || (c.front && x[k - 1] > 26 * sig && x[k] < 34 * sig);
            EXPECT_LE(h, (fine ? 0.2 * sig : c.coarse) * (1 + 1e-12));
            EXPECT_TRUE(k == 1 || h <= 1.55 * (x[k - 1] - x[k - 2])) << k;  // no jump from fine to coarse
        }
        EXPECT_GE(hmax, 0.9 * c.coarse);
    }
}

TEST(GreenMesh, ColumnLimitsAndSamplesCoverTheRegion) {
    run::reset_state();
    const double sig = 1e-3, sigr = 2e-4;
    for (const double shield : {0.0, 0.01}) {
        region(-8 * sig, 9 * sig, -3 * sig, 2.5 * sig);
        bool lnext = true;
        forces::gmesh0(true, lnext, {sig, sigr, shield}, {});
        EXPECT_TRUE(!lnext && greenm.n2gre == greenm.ngreen && greens.ioff == 0);
        EXPECT_LE(greenm.xg(greenm.jn1), -5 * sig);
        EXPECT_GE(greenm.xg(greenm.jn2), 5 * sig);
        for (int i = 1; i <= greens.nx; ++i) {
            const double lo = greenm.xg(greens.nxy1 + i), hi = greenm.xg(greens.nxy2 + i);
            EXPECT_TRUE(std::abs(lo + 3 * sig) < 1e-9 && std::abs(hi - 2.5 * sig) < 1e-9) << i;
            const auto l1 = std::int32_t(greenm.noff(i) + 1), l2 = std::int32_t(greenm.noff(i + 1));
            EXPECT_EQ(greenm.g(2, l1), lo);
            EXPECT_NEAR(greenm.g(2, l2), hi, 1e-15);
            // largest y step: 0.2 sigma_rad in the band |y| < 10 sigma_rad of the near
            // columns, 0.5 sigma in the central interval of a shielded run, else 5 sigma
            const bool near = i >= greenm.jn1 && i <= greenm.jn2;
            const double ystep = shield != 0.0 && std::abs(greenm.xg(i)) <= 5 * sig ? 0.5 * sig : 5 * sig;
            for (int l = l1 + 1; l <= l2; ++l) {
                const double y = greenm.g(2, l), dy = y - greenm.g(2, l - 1);
                EXPECT_TRUE(greenm.g(1, l) == greenm.xg(i) && !greenm.req(l) && dy > 0.0);
                EXPECT_LE(dy, (near && std::abs(y) < 10 * sigr ? 0.2 * sigr : ystep) * (1 + 1e-9));
            }
        }
    }
}

// The fine columns and the fine band of samples lie on a lattice anchored
// at the source: the source's own offset 0 is a column and, in it, a
// sample; sizes one part in 1e9 apart give the same counts and positions
// that follow the sizes (no count flips with the rounding of +-5 sigma or
// +-10 sigma_rad).
TEST(GreenMesh, LayoutIsAnchoredAtTheSourceAndFollowsTheSizes) {
    run::reset_state();
    for (const double sig : {5.999999999999999e-06, 1e-3, 7e-4}) {
        std::vector<double> x0;
        std::int64_t n0 = 0;
        for (const double f : {1.0, 1.0 - 1e-9, 1.0 + 1e-9}) {
            SCOPED_TRACE(testing::Message() << sig << " * " << f);
            const double s = sig * f, sigr = 0.2 * s;
            region(-8 * sig, 9 * sig, -3 * sig, 2.5 * sig);
            bool lnext = true;
            forces::gmesh0(true, lnext, {s, sigr, 0.0}, {});
            const auto x = columns();
            int i0 = 0;
            for (int i = 1; i <= greens.nx; ++i)
                if (x[std::size_t(i - 1)] == 0.0) i0 = i;
            ASSERT_GT(i0, 0);
            bool y0 = false;
            for (auto l = greenm.noff(i0) + 1; l <= greenm.noff(i0 + 1); ++l) y0 = y0 || greenm.g(2, std::int32_t(l)) == 0.0;
            EXPECT_TRUE(y0);
            for (int i = greenm.jn1 + 1; i < greenm.jn2; ++i)  // near columns: 0.2 sigma apart
                EXPECT_NEAR(x[std::size_t(i)] - x[std::size_t(i - 1)], 0.2 * s, 1e-12 * s) << i;
            if (f == 1.0) {
                x0 = x;
                n0 = greenm.ngreen;
                continue;
            }
            ASSERT_EQ(x.size(), x0.size());
            EXPECT_EQ(greenm.ngreen, n0);
            for (std::size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(x[k], x0[k], 1e-8 * sig) << k;
        }
    }
}

TEST(GreenMesh, NoEdgeForAnXFallsBackToThePolygonsExtremeY) {
    for (int k = 1; k <= forces::maxpol; ++k) {  // a vertical segment: every edge has dx = 0
        greenc.poly(1, k) = 0.5;
        greenc.poly(2, k) = -1.0 + 2.0 * (k - 1) / 19.0;
    }
    double lo = 0, hi = 0;
    forces::gmmima(0.5, 0.5, lo, hi);
    EXPECT_TRUE(lo == -1.0 && hi == 1.0);
}

// A hand-made layout of coarse columns with the given sample counts.
void layout(const std::vector<std::int64_t>& counts) {
    const int nx = int(counts.size());
    greens.nx = nx;
    greens.nxy1 = nx;
    greens.nxy2 = 2 * nx;
    greenm.jn1 = greenm.jn2 = nx + 1;  // no near column
    greenm.noff(1) = 0;
    for (int i = 1; i <= nx; ++i) {
        greenm.xg(i) = i;
        greenm.xg(nx + i) = -1.0;
        greenm.xg(2 * nx + i) = 1.0;
        greenm.noff(i + 1) = greenm.noff(i) + counts[std::size_t(i - 1)];
    }
    greenm.ngreen = greenm.noff(nx + 1);
}

TEST(GreenMesh, ExactlyFiveMillionSamplesTakeTwoChunks) {
    layout({1250000, 1250000, 1250000, 1250000});
    bool lnext = false;
    forces::gmchnk(true, lnext, {1e-3, 1e-3, 0.0});
    EXPECT_TRUE(lnext && greens.ic1 == 1 && greens.ic2 == 3 && greenm.n2gre == 3750000);
    EXPECT_NEAR(greenm.g(2, 3750000), 1.0, 1e-15);  // top of column 3
    forces::gmchnk(false, lnext, {1e-3, 1e-3, 0.0});  // the next chunk starts at the last column of the first
    EXPECT_TRUE(!lnext && greens.ic1 == 3 && greens.ic2 == 4 && greens.ioff == 2500000 && greenm.n2gre == 2500000);
    EXPECT_TRUE(greenm.g(1, 1) == 3.0 && greenm.g(2, 1) == -1.0);
}

// A mesh that does not fit: a line naming sigma_long, its value, what does
// not fit and the sigma_long that would, then the two lines of the stop,
// which end the master's output.
TEST(GreenMeshDeathTest, MeshesThatDoNotFitEndTheJob) {
    run::reset_state();
    bunch::forces.sigma_long = 2e-10;
    auto mesh = [](double x0, double x1, double y0, double y1) {  // sigma_long 2e-10 m
        testsupport::stdout_to_stderr();
        region(x0, x1, y0, y1);
        bool lnext;
        forces::gmesh0(true, lnext, {2e-10, 2e-10, 0.0}, {});
    };
    auto adjacent_columns_too_full = [] {
        testsupport::stdout_to_stderr();
        layout({3000000, 2000000, 10});
        bool lnext;
        forces::gmchnk(true, lnext, {2e-10, 2e-10, 0.0});
    };
    const std::string stop = "[[:space:]]+error exit: meshing of green's function[[:space:]]+"
                             "array size 'maxgre' not sufficient\n$";
    const std::string size = "sigma_long = 2e-10 m: too small for the green's function's mesh:[[:space:]]+";
    EXPECT_EXIT(mesh(-0.002, 0.002, -1e-6, 1e-6), testing::ExitedWithCode(1),
                size + "its region, 0.004 m long, needs more than 1666666 columns[[:space:]]+"
                       "a sigma_long of at least 4.8e-10 m would fit" + stop);
    EXPECT_EXIT(mesh(-1e-9, 1e-9, -0.003, 0.003), testing::ExitedWithCode(1),
                size + "a column holds 6.0001e\\+06 samples, a chunk at most 4999999[[:space:]]+"
                       "a sigma_long of at least 2.40004e-10 m would fit" + stop);
    EXPECT_EXIT(adjacent_columns_too_full(), testing::ExitedWithCode(1),
                size + "two neighbouring columns hold 5e\\+06 samples, a chunk at most 4999999[[:space:]]+"
                       "a sigma_long of at least 2e-10 m would fit" + stop);
}

}  // namespace
