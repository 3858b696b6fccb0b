// The mesh models' observers (boxes, the Lorentz force back at the
// particles, polygons) and Green's function: its mesh (runs, columns,
// limits, chunks, fatal exits) and lookup (buckets, bilinear interpolation
// with lazy evaluation, marking, outside points, the "green" monitors).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bunch/monitor.hpp"
#include "forces/gmesh.hpp"
#include "forces/gmeshl.hpp"
#include "forces/ptom.hpp"
#include "forces/work.hpp"
#include "foundation/files.hpp"
#include "support/support.hpp"

namespace {

// the mesh models' records of the tests' models' work
forces::Mesh& mesh = testsupport::model_work().mesh.mesh;
forces::Green& green = testsupport::model_work().mesh.green;
forces::Greenc& greenc = green.greenc;
forces::Greenm& greenm = green.greenm;
forces::Greens& greens = green.greens;
using forces::Pt2;

using Pts = std::vector<std::array<double, 2>>;

struct Bunch {
    std::vector<double> rec;
    std::vector<ftypes::Logical> def;
    void add(double x, double y, double phi = 0.0, double p = 50.0, bool ldef = true) {
        rec.insert(rec.end(), {x, y, 0.0, p, phi, 0.0, 1e-12});
        def.push_back(ldef);
    }
    std::int32_t n() const { return std::int32_t(def.size()); }
    foundation::ConstParticleView P() const { return {rec.data(), n()}; }
    // observers of boxes of 0.5 m by 0.5 m; the line it printed
    std::vector<std::string> boxes() const {
        testsupport::start_capture();
        static forces::BoxSort sort;
        forces::ptom1(mesh, P(), 1.0, 1.0, def, true, 0.5, 0.5, sort);
        return testsupport::end_capture();
    }
};

TEST(MeshObservers, BoxesCornersAndLooseParticles) {
    testsupport::reset_records();
    const struct {
        const char* name;
        Pts pts;  // receiving particles, in particle 1's frame
        int nbox, corners, loose;
    } cases[] = {
        {"one box of 4, corners at umax", {{0, 0}, {0.6, 0}, {0, 0.6}, {0.6, 0.6}}, 1, 4, 0},
        {"3 per box form none", {{0, 0}, {0.1, 0.1}, {0.2, 0.55}, {0.7, 0}, {0.8, 0.1}, {1.2, 0.6}}, 0, 0, 6},
        {"neighbours share corners",
         {{0, 0}, {0.1, 0}, {0, 0.5}, {0.2, 0.6}, {0.7, 0}, {0.8, 0.1}, {0.9, 0.5}, {1.2, 0.6}}, 2, 6, 0},
        {"line bunch: no spread along v", {{0, 0}, {0.1, 0}, {0.2, 0}, {0.3, 0}, {2, 0}}, 0, 0, 5},
        {"all at one point", {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}, 0, 0, 5},
    };
    for (const double rot : {0.0, 2.0}) {  // the box frame follows particle 1's azimuth
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " rot=" + std::to_string(rot));
            Bunch b;
            const double cr = std::cos(rot), sr = std::sin(rot);
            for (const auto& q : c.pts) b.add(3.0 + cr * q[0] - sr * q[1], -1.0 + sr * q[0] + cr * q[1], rot);
            b.add(40.0, 40.0, rot, 50.0, false);  // not receiving: neither binned nor observer
            EXPECT_EQ(b.boxes(), std::vector<std::string>{"  boxes = " + std::to_string(c.nbox) + "  e_points= " +
                                                          std::to_string(c.corners) + "  p_points= " + std::to_string(c.loose)});
            EXPECT_TRUE(mesh.nbox == c.nbox && mesh.nobs == c.corners + c.loose);
            for (int k = 1; k <= mesh.nobs; ++k) ASSERT_TRUE(std::isfinite(mesh.fobs(1, k)) && std::isfinite(mesh.fobs(2, k)));
        }
    }
}

// Observer values hold the force on a test particle moving along phiref at
// betref; ptom9 must give each particle the Lorentz force E + beta_k x B in
// its own frame. Fields bilinear in x, y, so the box interpolation is exact.
TEST(MeshObservers, InterpolationGivesTheLorentzForceOfEachParticle) {
    testsupport::reset_records();
    auto ex = [](double x, double y) { return 1.0 + 2.0 * x + 3.0 * y + 4.0 * x * y; };
    auto ey = [](double x, double y) { return -2.0 + x - y + 0.5 * x * y; };
    auto bz = [](double x, double y) { return 0.3 + 0.1 * x - 0.2 * y + 0.05 * x * y; };
    Bunch b;
    const double pts[6][2] = {{0, 0}, {0.4, 0}, {0, 0.4}, {0.4, 0.4}, {0.2, 0.3}, {2, 2}};
    for (int k = 0; k < 6; ++k) b.add(1.0 + pts[k][0], 2.0 + pts[k][1], 0.1 * k, 0.5 + k);
    b.add(1.5, 2.5, 0.0, 1.0, false);
    b.boxes();
    ASSERT_EQ(mesh.nbox, 1);
    mesh.phiref = std::numbers::pi / 6.0;
    mesh.betref = 0.9;
    const double cr = std::cos(mesh.phiref), sr = std::sin(mesh.phiref);
    for (int n = 1; n <= mesh.nobs; ++n) {
        const double x = mesh.fobs(1, n) + mesh.xoff, y = mesh.fobs(2, n) + mesh.yoff;
        mesh.fobs(1, n) = ex(x, y) * cr + ey(x, y) * sr;
        mesh.fobs(2, n) = -ex(x, y) * sr + ey(x, y) * cr - mesh.betref * bz(x, y);
        mesh.fobs(3, n) = bz(x, y);
    }
    std::vector<double> f(3 * std::size_t(b.n()), 7.0);
    forces::ptom9(mesh, b.P(), b.def, {f.data(), b.n()});
    for (int k = 1; k <= b.n(); ++k) {
        const double x = b.P().x(k), y = b.P().y(k), ph = b.P().phi(k), p = b.P().p(k);
        const double e1 = ex(x, y) * std::cos(ph) + ey(x, y) * std::sin(ph);
        const double e2 = -ex(x, y) * std::sin(ph) + ey(x, y) * std::cos(ph) - p / std::hypot(p, 1.0) * bz(x, y);
        const bool def = b.def[std::size_t(k - 1)];
        const double* fk = &f[3 * std::size_t(k - 1)];
        EXPECT_NEAR(fk[0], def ? e1 : 0.0, 1e-12) << k;
        EXPECT_NEAR(fk[1], def ? e2 : 0.0, 1e-12) << k;
        EXPECT_EQ(fk[2], 0.0) << k;
    }
}

TEST(MeshPolygon, ConvexAroundThePointsWithItsMargin) {
    Pts cloud;
    for (int k = 0; k < 40; ++k) cloud.push_back({std::cos(1.7 * k) * (1 + k % 3), 0.3 * std::sin(2.3 * k)});
    const struct {
        const char* name;
        Pts pts;
        double margin;
    } cases[] = {{"one point", {{0.2, -0.1}}, 0.01},       {"collinear", {{0, 0}, {1, 1}, {3, 3}}, 0.01},
                 {"collinear, no margin", {{0, 0}, {1, 0}, {3, 0}}, 0.0}, {"one point, no margin", {{0.2, -0.1}}, 0.0},
                 {"cloud", cloud, 0.05}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto h = [&c](double phi) {
            double v = -1e300;
            for (const auto& p : c.pts) v = std::max(v, p[0] * std::cos(phi) + p[1] * std::sin(phi));
            return v;
        };
        forces::Polygon poly;
        forces::bounda(h, c.margin, poly, 20);
        const double tol = 1e-9 * (1.0 + c.margin);
        for (int k = 1; k <= 20; ++k) {
            const int k1 = k % 20 + 1, k2 = k1 % 20 + 1;
            const double ax = poly(1, k1) - poly(1, k), ay = poly(2, k1) - poly(2, k);
            const double bx = poly(1, k2) - poly(1, k1), by = poly(2, k2) - poly(2, k1), len = std::hypot(ax, ay);
            ASSERT_TRUE(std::isfinite(poly(1, k)) && std::isfinite(poly(2, k)));
            EXPECT_GE(ax * by - ay * bx, -tol);  // convex, counter-clockwise
            // every point lies at least margin inside the edge's line (unless the vertices coincide)
            for (const auto& p : c.pts)
                EXPECT_TRUE(len < 1e-12 || (ay * (poly(1, k) - p[0]) - ax * (poly(2, k) - p[1])) / len >= c.margin - tol);
            if (c.pts.size() == 1 && c.margin > 0.0) {  // a 20-gon reaching about margin beyond the point
                const double r = std::hypot(poly(1, k) - c.pts[0][0], poly(2, k) - c.pts[0][1]);
                EXPECT_TRUE(r >= c.margin && r <= 1.05 * c.margin) << r;
            }
        }
    }
}

TEST(MeshPolygon, RegionSupportSeesTheObserverPolygonFromEachSource) {
    mesh.xoff = 1.0;
    mesh.yoff = 2.0;
    for (int k = 1; k <= forces::maxpol; ++k) mesh.poly(1, k) = std::cos(0.3 * k), mesh.poly(2, k) = 0.5 * std::sin(0.3 * k);
    Bunch b;
    b.add(1.0, 2.0, 0.0);                     // at the polygon's origin, along x
    b.add(3.0, 2.0, std::numbers::pi / 2.0);  // 2 m further, along y
    b.add(9.0, 9.0, 0.0);                     // not a source
    std::vector<ftypes::Logical> act = {true, true, false}, none(3, ftypes::Logical(false));
    for (const double phi : {0.0, 1.0, 2.5, 4.0}) {
        double want = -1e300;  // the polygon itself, and seen from source 2: shifted and turned by -90 degrees
        for (int k = 1; k <= forces::maxpol; ++k) {
            const double x = mesh.poly(1, k), y = mesh.poly(2, k);
            want = std::max({want, x * std::cos(phi) + y * std::sin(phi), y * std::cos(phi) - (x - 2.0) * std::sin(phi)});
        }
        EXPECT_NEAR(forces::gtom2(mesh, b.P(), act, phi), want, 1e-14);
        // in blocks of the particles, with their cosines and sines given: the
        // larger of the blocks' supports, bit for bit
        const double c[3] = {std::cos(b.P().phi(1)), std::cos(b.P().phi(2)), 0.0};
        const double s[3] = {std::sin(b.P().phi(1)), std::sin(b.P().phi(2)), 0.0};
        EXPECT_EQ(std::max(forces::gtom2(mesh, b.P(), act, phi, 1, 1, c, s), forces::gtom2(mesh, b.P(), act, phi, 2, 3, c, s)),
                  forces::gtom2(mesh, b.P(), act, phi));
    }
    EXPECT_EQ(forces::gtom2(mesh, b.P(), none, 0.0), -7.777e+300);
}

// The region polygon of greenc: the 20-gon around a rectangle.
void region(double x0, double x1, double y0, double y1) {
    auto h = [&](double phi) {
        const double c = std::cos(phi), s = std::sin(phi);
        return std::max(std::max(x0 * c + y0 * s, x1 * c + y0 * s), std::max(x0 * c + y1 * s, x1 * c + y1 * s));
    };
    forces::bounda(h, 0.0, greenc.poly, 20);
}

std::vector<double> columns() { return {greenm.xg.data(), greenm.xg.data() + greens.nx}; }

// The position (x, y) of sample l of the current chunk, from the column layout.
struct MeshPos { double x, y; };
MeshPos mesh_pos(std::int32_t l) {
    MeshPos p{};
    forces::gmpos(green, l, p.x, p.y);
    return p;
}

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
    // values that do not fit: status 1, nothing written
    std::vector<double> small(10, -1.0);
    int n = 1;
    EXPECT_EQ(forces::gmeshf(small, n, 10.0, 0.2, 0.2, 1.5, false, false), 1);
    EXPECT_TRUE(n == 1 && small[1] == -1.0);
}

// Columns 0.2 sigma apart within +-5 sigma and around the crossing of a past
// curvature change's front, graded by 1.5 up to 5 sigma (0.5 sigma shielded).
TEST(GreenMesh, ColumnSpacingFreeSpaceShieldedBeyondTheSourceAndAtAFront) {
    testsupport::reset_records();
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
        ASSERT_EQ(forces::gmeshs(green, sig, c.shield, forces::ChgRows(rows.data(), c.front ? 2u : 0u), sra, srb, rmax, nf), 0);
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
    testsupport::reset_records();
    const double sig = 1e-3, sigr = 2e-4;
    for (const double shield : {0.0, 0.01}) {
        region(-8 * sig, 9 * sig, -3 * sig, 2.5 * sig);
        bool lnext = true;
        forces::gmesh0(green, true, lnext, {sig, sigr, shield}, {});
        EXPECT_TRUE(!lnext && greenm.n2gre == greenm.ngreen && greens.ioff == 0);
        EXPECT_LE(greenm.xg(greenm.jn1), -5 * sig);
        EXPECT_GE(greenm.xg(greenm.jn2), 5 * sig);
        for (int i = 1; i <= greens.nx; ++i) {
            const double lo = greenm.xg(greens.nxy1 + i), hi = greenm.xg(greens.nxy2 + i);
            EXPECT_TRUE(std::abs(lo + 3 * sig) < 1e-9 && std::abs(hi - 2.5 * sig) < 1e-9) << i;
            const auto l1 = std::int32_t(greenm.noff(i) + 1), l2 = std::int32_t(greenm.noff(i + 1));
            EXPECT_EQ(mesh_pos(l1).y, lo);
            EXPECT_NEAR(mesh_pos(l2).y, hi, 1e-15);
            // largest y step: 0.2 sigma_rad in the band |y| < 10 sigma_rad of the near
            // columns, 0.5 sigma in the central interval of a shielded run, else 5 sigma
            const bool near = i >= greenm.jn1 && i <= greenm.jn2;
            const double ystep = shield != 0.0 && std::abs(greenm.xg(i)) <= 5 * sig ? 0.5 * sig : 5 * sig;
            for (int l = l1 + 1; l <= l2; ++l) {
                const MeshPos p = mesh_pos(l);
                const double y = p.y, dy = y - mesh_pos(l - 1).y;
                EXPECT_TRUE(p.x == greenm.xg(i) && !greenm.req(l) && dy > 0.0);
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
    testsupport::reset_records();
    for (const double sig : {5.999999999999999e-06, 1e-3, 7e-4}) {
        std::vector<double> x0;
        std::int64_t n0 = 0;
        for (const double f : {1.0, 1.0 - 1e-9, 1.0 + 1e-9}) {
            SCOPED_TRACE(testing::Message() << sig << " * " << f);
            const double s = sig * f, sigr = 0.2 * s;
            region(-8 * sig, 9 * sig, -3 * sig, 2.5 * sig);
            bool lnext = true;
            forces::gmesh0(green, true, lnext, {s, sigr, 0.0}, {});
            const auto x = columns();
            int i0 = 0;
            for (int i = 1; i <= greens.nx; ++i)
                if (x[std::size_t(i - 1)] == 0.0) i0 = i;
            ASSERT_GT(i0, 0);
            bool y0 = false;
            for (auto l = greenm.noff(i0) + 1; l <= greenm.noff(i0 + 1); ++l) y0 = y0 || mesh_pos(std::int32_t(l)).y == 0.0;
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
    forces::gmmima(green, 0.5, 0.5, lo, hi);
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
    forces::gmchnk(green, true, lnext, {1e-3, 1e-3, 0.0});
    EXPECT_TRUE(lnext && greens.ic1 == 1 && greens.ic2 == 3 && greenm.n2gre == 3750000);
    EXPECT_NEAR(mesh_pos(3750000).y, 1.0, 1e-15);  // top of column 3
    forces::gmchnk(green, false, lnext, {1e-3, 1e-3, 0.0});  // the next chunk starts at the last column of the first
    EXPECT_TRUE(!lnext && greens.ic1 == 3 && greens.ic2 == 4 && greens.ioff == 2500000 && greenm.n2gre == 2500000);
    const MeshPos first = mesh_pos(1);
    EXPECT_EQ(first.x, 3.0);
    EXPECT_EQ(first.y, -1.0);
}

// A mesh that does not fit: a line naming sigma_long, its value, what does
// not fit and the sigma_long that would, then the two lines of the stop,
// which end the master's output.
TEST(GreenMeshDeathTest, MeshesThatDoNotFitEndTheJob) {
    testsupport::reset_records();
    bunch::force_settings.sigma_long = 2e-10;
    auto mesh = [](double x0, double x1, double y0, double y1) {  // sigma_long 2e-10 m
        testsupport::stdout_to_stderr();
        region(x0, x1, y0, y1);
        bool lnext;
        forces::gmesh0(green, true, lnext, {2e-10, 2e-10, 0.0}, {});
    };
    auto adjacent_columns_too_full = [] {
        testsupport::stdout_to_stderr();
        layout({3000000, 2000000, 10});
        bool lnext;
        forces::gmchnk(green, true, lnext, {2e-10, 2e-10, 0.0});
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

constexpr double sig = 1e-3, sigr = 2e-4;

// A field bilinear in x and y (the mesh interpolates it exactly).
std::array<double, 3> field(double x, double y) {
    const double u = x / sig, v = y / sig;
    return {1 + 2 * u + 3 * v + 4 * u * v, -2 + u - v + 0.5 * u * v, 0.3 + 0.1 * u - 0.2 * v + 0.05 * u * v};
}
void bilinear(const Pt2& z, Pt2& w, double& cbz) {
    const auto f = field(z[0], z[1]);
    w = {f[0], f[1]};
    cbz = f[2];
}
void must_not_be_called(const Pt2&, Pt2&, double&) { ADD_FAILURE() << "sample evaluated again"; }

// A mesh over a tilted ellipse around the source, laid out in one chunk.
class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::reset_records();
        auto h = [](double phi) {
            const double d = phi - 0.4;
            return std::sqrt(144 * std::cos(d) * std::cos(d) + 16 * std::sin(d) * std::sin(d)) * sig;
        };
        forces::bounda(h, 0.0, greenc.poly, 20);
        bool lnext = true;
        forces::gmesh0(green, true, lnext, {sig, sigr, 0.0}, {});
        ASSERT_FALSE(lnext);
        old_ = forces::set_green_evaluator(green, bilinear);
        std::mt19937 gen(7);
        std::uniform_real_distribution<double> ux(-14 * sig, 14 * sig), uy(-8 * sig, 8 * sig);
        for (int k = 0; k < 3000; ++k) pts_.push_back({ux(gen), uy(gen)});
        const int nx = greens.nx, mid = nx / 2;
        const double top = std::min(greenm.xg(greens.nxy2 + mid), greenm.xg(greens.nxy2 + mid + 1));
        pts_.push_back({greenm.xg(nx), 0.5 * (greenm.xg(2 * nx) + greenm.xg(3 * nx))});  // on the last column
        pts_.push_back({greenm.xg(mid), top});  // at the top of a column's samples
        pts_.push_back({greenm.xg(mid), greenm.xg(greens.nxy1 + mid) - 1e-6});  // below its cell
    }
    void TearDown() override { forces::set_green_evaluator(green, old_); }
    // gmesh2 at z: 1 interpolated (checked exact), 2 to be evaluated directly, 0 another chunk's
    static int probe(const Pt2& z) {
        bool lin, lout;
        Pt2 w{};
        double cbz = 0;
        forces::gmesh2(green, testsupport::model_work().field, z, lin, lout, w, cbz);
        EXPECT_FALSE(lin && lout);
        const auto f = field(z[0], z[1]);
        const double err = std::max({std::abs(w[0] - f[0]), std::abs(w[1] - f[1]), std::abs(cbz - f[2])});
        EXPECT_TRUE(!lin || err <= 1e-11 * (1 + std::abs(f[0]) + std::abs(f[1]))) << z[0] << " " << z[1];
        return lin ? 1 : lout ? 2 : 0;
    }
    forces::GreenEvaluator old_ = nullptr;
    std::vector<Pt2> pts_;
};

TEST(LookupTable, BucketsAndCells) {
    std::vector<std::int32_t> ib(1000);
    const std::vector<double> two = {1.0, 3.0};
    forces::fmesh1(two, ib);
    EXPECT_TRUE(ib[0] == 1 && std::all_of(ib.begin() + 1, ib.end(), [](int v) { return v == 2; }));
    // a graded grid whose last two values coincide: no bucket beyond the table
    std::vector<double> x = {0.0};
    while (x.back() < 100.0) x.push_back(x.back() + 0.01 * (1.0 + x.size() % 7));
    x.push_back(x.back());
    std::vector<std::int32_t> ib2(1000);
    forces::fmesh1(x, ib2);
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(0.0, x.back());
    for (int k = 0; k < 20000; ++k) {
        std::int32_t i = 0, i2 = 0;
        bool lin = false, lin2 = false;
        const double v = k == 0 ? x.back() : u(gen), v2 = 1.0 + 2.0 * k / 19999.0;
        forces::fmesh2(x, ib2, v, i, lin);
        EXPECT_TRUE(lin && i == std::upper_bound(x.begin(), x.end(), v) - x.begin()) << v;
        forces::fmesh2(two, ib, v2, i2, lin2);  // cell 1, and 2 at the top
        EXPECT_TRUE(lin2 && i2 == (v2 < 3.0 ? 1 : 2)) << v2;
    }
    std::int32_t i = 0;
    bool lin = true;
    forces::fmesh2(two, ib, 3.5, i, lin);  // beyond the table
    EXPECT_FALSE(lin);
}

// A shared pass leaves zeros in the samples it did not evaluate: the lazy
// evaluation takes the positions from the column layout.
TEST_F(Lookup, InterpolationIsExactOnBilinearFieldsAfterSamplesWereZeroed) {
    for (int l = 1; l <= greenm.n2gre; ++l) greenm.g(1, l) = greenm.g(2, l) = greenm.g(3, l) = 0.0;
    int nin = 0;
    for (const auto& z : pts_) nin += probe(z) == 1;  // one chunk: every point is answered
    EXPECT_GT(nin, 1000);
    const auto n = pts_.size();
    EXPECT_EQ(probe(pts_[n - 3]), 1);  // on the last column
    EXPECT_EQ(probe(pts_[n - 2]), 1);  // at the top of the samples
    EXPECT_EQ(probe(pts_[n - 1]), 2);  // below its cell: evaluated directly
    for (const auto& z : pts_) EXPECT_NE(probe(z), 0);
}

// gmesh1 marks exactly the samples gmesh2 then reads: once the marked
// samples are evaluated, nothing is evaluated lazily.
TEST_F(Lookup, MarkedSamplesAreAllTheInterpolationNeeds) {
    bool lout;
    for (const auto& z : pts_) forces::gmesh1(green, z, lout);
    int nreq = 0;
    for (int l = 1; l <= greenm.n2gre; ++l) {
        if (!greenm.req(l)) continue;
        Pt2 p, w;
        forces::gmpos(green, l, p[0], p[1]);
        bilinear(p, w, greenm.g(3, l));
        greenm.g(1, l) = w[0], greenm.g(2, l) = w[1], ++nreq;
    }
    EXPECT_LT(nreq, greenm.n2gre);
    forces::set_green_evaluator(green, must_not_be_called);
    for (const auto& z : pts_) probe(z);
}

// In small chunks every point is interpolated or evaluated directly in
// exactly one pass, also one whose cell lies in a later chunk and whose y
// lies outside that cell's samples.
TEST_F(Lookup, EveryPointIsAnsweredInExactlyOnePassOverTheChunks) {
    std::vector<int> answered(pts_.size(), 0);
    bool lnext = true;
    int passes = 0;
    for (; lnext; ++passes) {
        forces::gmchnk(green, passes == 0, lnext, {sig, sigr, 0.0}, 400);
        for (std::size_t k = 0; k < pts_.size(); ++k) answered[k] += probe(pts_[k]) != 0;
    }
    EXPECT_GT(passes, 5);
    for (std::size_t k = 0; k < pts_.size(); ++k) EXPECT_EQ(answered[k], 1) << pts_[k][0] << " " << pts_[k][1];
}

class GreenMonitor : public testsupport::Folder {
protected:
    // Opens slot k as the tracker does before a step, with old lines in it.
    int open_slot(int k, const std::string& name) {
        auto& M = bunch::moncom;
        M.moact(k) = true;
        M.motype(k) = 3;
        M.moform(k) = 1;
        M.mocnt(k) = 1;
        bunch::mo2com.moname(k) = name;
        std::int32_t unit = 0, st = 0;
        foundation::fioout(bunch::monsuf(name, 1), unit, st);
        for (int l = 0; l < 80; ++l) (void)foundation::unit_write(unit, "old line old line old line");
        M.mounit(k) = unit;
        return unit;
    }
};

TEST_F(GreenMonitor, RewritesTheFileFromItsStartAndFreesAUnitThatCannotBeRewound) {
    forces::Polygon poly;
    for (int k = 1; k <= 20; ++k) poly(1, k) = 0.1 * k, poly(2, k) = -1.0 / k;
    const lattice::PthChg rows[2] = {{-3.5, 1.0, 2.0, 0.25}, {-1.0, 4.0, 5.0, 0.0}};
    EXPECT_EQ(forces::gmshd1(poly, 20, rows), 0);  // no green monitor: nothing
    const int unit = open_slot(2, "grn.dat");
    open_slot(3, "bad.dat");
    ASSERT_EQ(foundation::unit_close(bunch::moncom.mounit(3)), 0);  // its unit cannot be rewound
    const int bad = bunch::moncom.mounit(3);
    const std::int32_t failed = bunch::omofai();
    for (const int nchg : {2, 0}) {
        testsupport::start_capture();
        const int st = forces::gmshd1(poly, 20, forces::ChgRows(rows, std::size_t(nchg)));
        const auto out = testsupport::end_capture();
        EXPECT_EQ(nchg == 2, st != 0 && out == std::vector<std::string>{" error in output of online_monitor=bad.dat"});
        EXPECT_TRUE(!bunch::moncom.moact(3) && bunch::moncom.mounit(3) == 0 && !foundation::iopcom.iuse(bad));
        EXPECT_EQ(bunch::omofai(), failed + 1);  // the run reports its output incomplete
        ASSERT_EQ(foundation::unit_flush(unit), 0);
        // six lists, each led by its count (their layout: the deck mesh_models); no old line remains
        const auto lines = testsupport::lines_of(testsupport::read_file("grn_0001.dat"));
        ASSERT_EQ(lines.size(), 6u + 40u + 4u * unsigned(nchg));
        EXPECT_TRUE(std::stod(lines[0]) == 20 && std::stod(lines[21]) == 20 && std::stod(lines[42]) == nchg);
        EXPECT_TRUE(std::stod(lines[20]) == poly(1, 20) && std::stod(lines[41]) == poly(2, 20));
        EXPECT_TRUE(nchg == 0 || (std::stod(lines[43]) == rows[0].ct && std::stod(lines[lines.size() - 2]) == 0.25));
    }
    EXPECT_TRUE(bunch::moncom.moact(2));
}

}  // namespace
