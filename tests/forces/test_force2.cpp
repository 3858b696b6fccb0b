// The particle-to-particle model on one process: the contracted Coulomb
// force between two particles on a drift, the flags of sources and targets,
// the test output and the progress lines. (The steady-state CSR wake in a
// bend and the independence of the process count are deck tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "forces/force.hpp"
#include "forces/force2.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::forces;
using bunch::prtcls;
using foundation::force_scale;
constexpr double ke = 8987551787.366543;  // 1/(4 pi eps0) [V m/C]

ftypes::Arr2<double, 3, cap::maxprt> F;

class Force2 : public testsupport::Folder {
protected:
    // The model's settings: a sphere of size sigma [m], free space.
    static void settings(double sigma, bool test = false) {
        auto& f = forces;
        f.itype = bunch::code(bunch::ForceType::csr_p_to_p);
        f.ishape = 2;
        f.sigma_long = sigma;
        f.lrell = f.lfill = f.lfilr = f.lfilv = false;
        f.rintmi = 1e-9;
        f.shield = 0.0;
        f.shield_max = 0.3;
        f.ltest = test;
    }
    // Particle i at (x, y) moving at azimuth phi with momentum p [m*c],
    // charge q [C].
    static void particle(int i, double x, double y, double phi, double p, double q, bool act = true,
                         bool def = true) {
        const double r[7] = {x, y, 0.0, p, phi, 0.0, q};
        for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = r[k - 1];
        prtcls.lact(i) = act;
        prtcls.ldef(i) = def;
    }
    // One evaluation of the bunch's n particles at c*t = 0 (their next
    // boundaries located first); the log lines it printed.
    static std::vector<std::string> evaluate(int n) {
        prtcls.npart = n;
        prtcls.ctptcl = 0.0;
        prtcls.lfbidx = false;
        std::int32_t ierr = 0;
        testsupport::inila2(ierr);
        EXPECT_EQ(ierr, 0);
        testing::internal::CaptureStdout();
        forces::forcei(bunch::ForceType::csr_p_to_p, foundation::particles(prtcls.xptcl, n),
                       foundation::indices(prtcls.iptcl, n), 0.0, foundation::forces_of(F, n), ierr);
        auto log = testsupport::lines_of(testing::internal::GetCapturedStdout());
        EXPECT_EQ(ierr, 0);
        return log;
    }
};

// Two particles 2 mm apart (20 sub-bunch sizes) at gamma 9.8 on a 20 m
// drift: each pushes the other away with q/(4 pi eps0 gamma^2 d^2) (1 +
// 3 beta^2 sigma^2/d^2), the Gaussian's quadrupole term). Each particle also
// feels its own sub-bunch, the same for both, so the pair force is the
// difference to a lone particle. Nothing transverse.
TEST_F(Force2, PairOnADriftAgainstContractedCoulomb) {
    const double p = 9.785, g2 = p * p + 1.0, beta2 = p * p / g2;
    const double sigma = 1e-4, d = 2e-3, q = 1e-12, x0 = 10.0;
    const double C = q * ke / (g2 * d * d) * (1.0 + 3.0 * beta2 * sigma * sigma / (d * d)) * force_scale;
    // the next term of the Gaussian, 1e-4, and the library's accuracy 1e-4
    const double tol = 3e-4 * C;
    struct Case {
        const char* name;
        double phi;             // rad, direction of motion
        bool lead_active, trail_def, test;
        double lead, trail;     // the pair forces in units of C
    };
    const Case cases[] = {
        {"along the drift", 0.0, true, true, false, 1.0, -1.0},
        {"at 30 degrees, with test output", foundation::pi / 6.0, true, true, true, 1.0, -1.0},
        {"leading source inactive", 0.0, false, true, false, 1.0, 0.0},
        {"trailing particle receives no force", 0.0, true, false, false, 1.0, 0.0},
    };
    testsupport::add_section(0.0, 1.0);   // boundary at x = 1 m
    testsupport::add_section(0.0, 20.0);  // boundary at x = 21 m
    prtcls.p0 = p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double ux = std::cos(c.phi), uy = std::sin(c.phi);
        settings(sigma);
        particle(1, x0, 0.0, c.phi, p, q);
        evaluate(1);
        const double self = F(1, 1);
        EXPECT_LT(std::fabs(self), 1e-4 * q * ke / (g2 * sigma * sigma) * force_scale);
        // particle 1 leads, particle 2 trails by d
        settings(sigma, c.test);
        particle(1, x0, 0.0, c.phi, p, q, c.lead_active);
        particle(2, x0 - d * ux, -d * uy, c.phi, p, q, true, c.trail_def);
        const auto log = evaluate(2);  // the progress lines, the test lines
        // an inactive particle is no source, not even of its own field
        EXPECT_NEAR(F(1, 1) - (c.lead_active ? self : 0.0), c.lead * C, tol);
        if (c.trail_def) {
            EXPECT_NEAR(F(1, 2) - self, c.trail * C, tol);
        } else {
            EXPECT_EQ(F(1, 2), 0.0);
        }
        for (int j = 1; j <= 2; ++j) {
            EXPECT_LT(std::fabs(F(2, j)), 1e-9 * C) << j;
            EXPECT_EQ(F(3, j), 0.0) << j;
        }
        EXPECT_EQ(std::exchange(forces.nfcall(2), 0), 2);  // the call counter
        if (!c.test) continue;
        EXPECT_EQ(log, (std::vector<std::string>{" isrc       = 1 npart = 2", " isrc       = 2 npart = 2",
                                                 "  ctsig = " + foundation::ld_real(sigma / std::sqrt(beta2)), ""}));
        // fc2.dat: (4(1X,E13.6)), position relative to particle 1 and forces
        const auto rec = testsupport::lines_of(testsupport::read_file("fc2.dat"));
        ASSERT_EQ(rec.size(), 2u);
        const double want[2][4] = {{0.0, 0.0, F(1, 1), F(2, 1)}, {-d * ux, -d * uy, F(1, 2), F(2, 2)}};
        for (int j = 0; j < 2; ++j) {
            std::string line;
            for (double v : want[j]) line += " " + foundation::fmt_e(v, 13, 6);
            EXPECT_EQ(rec[std::size_t(j)], line);
        }
    }
}

// Progress lines of the master: sources 1 and npart, and every hundredth
// when npart >= 900 (inactive sources: no field is evaluated).
TEST_F(Force2, ProgressLines) {
    struct Case {
        int n;
        std::vector<int> at;
    };
    const Case cases[] = {{1000, {1, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}}, {800, {1, 800}}};
    testsupport::add_section(0.0, 1.0);
    prtcls.p0 = 10.0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        settings(1e-3);
        for (int i = 1; i <= c.n; ++i) particle(i, 0.0, 0.0, 0.0, 10.0, 1e-12, false);
        std::vector<std::string> want;
        for (int i : c.at) want.push_back(" isrc       = " + std::to_string(i) + " npart = " + std::to_string(c.n));
        EXPECT_EQ(evaluate(c.n), want);
        EXPECT_EQ(forces::force2_work.fields, 0);
    }
}

}  // namespace
