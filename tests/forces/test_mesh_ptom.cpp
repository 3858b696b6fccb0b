// Observers of the mesh models: boxes and corners, the interpolation back to
// the particles against the Lorentz force, and the polygons around points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "forces/ptom.hpp"
#include "support/support.hpp"

namespace {

using forces::mesh;
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
        forces::ptom1(P(), 1.0, 1.0, def, true, 0.5, 0.5, sort);
        return testsupport::end_capture();
    }
};

TEST(MeshObservers, BoxesCornersAndLooseParticles) {
    run::reset_state();
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
    run::reset_state();
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
    forces::ptom9(b.P(), b.def, {f.data(), b.n()});
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
        EXPECT_NEAR(forces::gtom2(b.P(), act, phi), want, 1e-14);
    }
    EXPECT_EQ(forces::gtom2(b.P(), none, 0.0), -7.777e+300);
}

}  // namespace
