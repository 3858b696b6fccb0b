// The particle-to-particle model on one process: the contracted Coulomb
// force between two particles on a drift, the flags of sources and targets,
// the call counter, the test output (also when it cannot be written) and the
// progress lines. (The CSR wake in
// a bend and the independence of the process count are deck tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "forces/fcdiag.hpp"
#include "forces/force.hpp"
#include "forces/force2.hpp"
#include "forces/work.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::prtcls;
using foundation::force_scale;
using testsupport::ke;  // 1/(4 pi eps0) [V m/C]
ftypes::Arr2<double, 3, cap::maxprt> F;

class Force2 : public testsupport::Folder {
protected:
    // Particle i at (x, y), azimuth phi, momentum p [m*c], charge 1e-12 C.
    static void particle(int i, double x, double y, double phi, double p, bool act = true, bool def = true) {
        const double r[7] = {x, y, 0.0, p, phi, 0.0, 1e-12};
        for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = r[k - 1];
        prtcls.lact(i) = act;
        prtcls.ldef(i) = def;
    }
    // One evaluation of n particles at c*t = 0 by sub-bunch spheres of
    // size sigma [m]; the lines it printed.
    static std::vector<std::string> evaluate(int n, double sigma, bool test = false,
                                             bunch::ForceType type = bunch::ForceType::csr_p_to_p) {
        auto& f = bunch::forces;
        f.ishape = 2;
        f.sigma_long = sigma;
        f.rintmi = 1e-9;
        f.shield_max = 0.3;
        f.ltest = test;
        prtcls.npart = n;
        prtcls.lfbidx = false;
        std::int32_t ierr = 0;
        testsupport::inila2(ierr);
        testsupport::start_capture();
        forces::forcei(type, foundation::particles(prtcls.xptcl, n),
                       foundation::indices(prtcls.iptcl, n), 0.0, foundation::forces_of(F, n), ierr);
        EXPECT_EQ(ierr, 0);
        return testsupport::end_capture();
    }
};

// Two particles d = 20 sub-bunch sizes apart at gamma 9.8 on a drift push
// each other apart with q/(4 pi eps0 gamma^2 d^2) (1 + 3 beta^2 sigma^2/d^2)
// (with the Gaussian's quadrupole term; tolerance: the next term, 1e-4, and
// the library's accuracy). Each also feels its own sub-bunch (as a lone
// particle does); nothing transverse.
TEST_F(Force2, PairOnADriftAgainstContractedCoulomb) {
    const double p = 9.785, g2 = p * p + 1.0, b2 = p * p / g2, sigma = 1e-4, d = 2e-3, x0 = 10.0;
    const double C = 1e-12 * ke / (g2 * d * d) * (1.0 + 3.0 * b2 * sigma * sigma / (d * d)) * force_scale;
    struct Case {
        const char* name;
        double phi;  // rad
        bool lead_active, trail_def, test;
        double lead, trail;  // pair forces in units of C
    };
    const Case cases[] = {{"along the drift", 0.0, true, true, false, 1.0, -1.0},
                          {"at 30 degrees, test output", foundation::pi / 6.0, true, true, true, 1.0, -1.0},
                          {"leading source inactive", 0.0, false, true, false, 1.0, 0.0},
                          {"trailing particle receives no force", 0.0, true, false, false, 1.0, 0.0}};
    testsupport::add_section(0.0, 1.0);   // boundary at x = 1 m
    testsupport::add_section(0.0, 20.0);  // boundary at x = 21 m
    prtcls.p0 = p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double ux = std::cos(c.phi), uy = std::sin(c.phi);
        particle(1, x0, 0.0, c.phi, p);
        evaluate(1, sigma);
        const double self = F(1, 1);  // a lone particle's own sub-bunch
        EXPECT_LT(std::fabs(self), 1e-4 * 1e-12 * ke / (g2 * sigma * sigma) * force_scale);
        particle(1, x0, 0.0, c.phi, p, c.lead_active);
        particle(2, x0 - d * ux, -d * uy, c.phi, p, true, c.trail_def);
        const auto log = evaluate(2, sigma, c.test);
        EXPECT_NEAR(F(1, 1) - (c.lead_active ? self : 0.0), c.lead * C, 3e-4 * C);
        EXPECT_NEAR(F(1, 2) - (c.trail_def ? self : 0.0), c.trail * C, c.trail_def ? 3e-4 * C : 0.0);
        for (int j = 1; j <= 2; ++j) {
            EXPECT_LT(std::fabs(F(2, j)), 1e-9 * C) << j;
            EXPECT_EQ(F(3, j), 0.0) << j;
        }
        EXPECT_EQ(std::exchange(bunch::forces.nfcall(2), 0), 2);
        if (!c.test) continue;
        EXPECT_EQ(log, (std::vector<std::string>{"  isrc       = 1  npart = 2", "  isrc       = 2  npart = 2",
                                                 "  ctsig = " + foundation::ld_real(sigma / std::sqrt(b2)), ""}));
        // fc2.dat (4(1X,E13.6)): position relative to particle 1, forces
        const double rec[2][4] = {{0.0, 0.0, F(1, 1), F(2, 1)}, {-d * ux, -d * uy, F(1, 2), F(2, 2)}};
        std::string want;
        for (const auto& r : rec) {
            for (double v : r) want += " " + foundation::fmt_e(v, 13, 6);
            want += "\n";
        }
        EXPECT_EQ(testsupport::read_file("fc2.dat"), want);
    }
}

// "fc2.dat" that cannot be written (its name taken by a folder): a warning
// naming it after the line of the failed open, status 0, the same forces,
// the failure counted for the tracking run.
TEST_F(Force2, FileNotWrittenKeepsTheForces) {
    testsupport::add_section(0.0, 1.0);
    testsupport::add_section(0.0, 20.0);
    prtcls.p0 = 10.0;
    particle(1, 10.0, 0.0, 0.0, 10.0);
    particle(2, 9.998, 0.0, 0.0, 10.0);
    (void)evaluate(2, 1e-4, true);
    const std::vector<double> written(F.data(), F.data() + 6);
    std::filesystem::remove("fc2.dat");
    std::filesystem::create_directory("fc2.dat");
    const auto log = evaluate(2, 1e-4, true);
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(log[log.size() - 2].starts_with(" cannot open fc2.dat for writing: ")) << log[log.size() - 2];
    EXPECT_EQ(log.back(), " warning: diagnostic file fc2.dat not written");
    EXPECT_EQ(std::vector<double>(F.data(), F.data() + 6), written);
    EXPECT_NE(written[0], 0.0);
    EXPECT_EQ(forces::diafai(), 1);
    EXPECT_TRUE(testsupport::pool_free());
}

// Progress lines of the master: sources 1 and npart, and every hundredth
// when npart >= 900 (inactive sources: no field is evaluated); both texts
// keep their leading blank.
TEST_F(Force2, ProgressLines) {
    testsupport::add_section(0.0, 1.0);
    prtcls.p0 = 10.0;
    for (int n : {1000, 800}) {
        for (int i = 1; i <= n; ++i) particle(i, 0.0, 0.0, 0.0, 10.0, false);
        std::vector<std::string> want;
        for (int i = 1; i <= n; ++i)
            if (i == 1 || i == n || (n >= 900 && i % 100 == 0))
                want.push_back("  isrc       = " + std::to_string(i) + "  npart = " + std::to_string(n));
        EXPECT_EQ(evaluate(n, 1e-3), want);
        EXPECT_EQ(want.size(), n == 1000 ? 11u : 2u);
        EXPECT_EQ(forces::model_work().p2p.fields, 0);
    }
}

// The models of a field call per source and observer announce at their
// first evaluation the field calls of one evaluation (here 2 sources times
// 3 observers), the most on one process, the measured seconds of a call and
// the estimated time of an evaluation; later evaluations say nothing.
TEST_F(Force2, FirstEvaluationAnnouncesItsCost) {
    testsupport::add_section(0.0, 1.0);
    testsupport::add_section(0.0, 20.0);
    prtcls.p0 = 9.785;
    const std::regex each(R"(   per process at most = 6, [0-9.e+-]+ s each \(measured\))");
    const std::regex time(R"(   estimated time per evaluation = [0-9.e+-]+ s)");
    for (const auto type : {bunch::ForceType::csr_p_to_p, bunch::ForceType::csr_p_to_m}) {
        const std::string word(bunch::force_model(type).word);
        SCOPED_TRACE(word);
        for (int i = 1; i <= 3; ++i) particle(i, 10.0 + 2e-3 * i, 0.0, 0.0, 9.785, i != 3);
        bunch::forces.sbox = bunch::forces.rbox = 1e-6;  // no boxes: every particle observes
        bunch::forces.nfcall(bunch::code(type)) = 0;
        const auto first = evaluate(3, 1e-4, false, type);
        const auto at = std::find(first.begin(), first.end(), " " + word + ": field calls per evaluation = 6");
        ASSERT_TRUE(at != first.end() && first.end() - at >= 3);
        EXPECT_TRUE(std::regex_match(at[1], each)) << at[1];
        EXPECT_TRUE(std::regex_match(at[2], time)) << at[2];
        for (const auto& line : evaluate(3, 1e-4, false, type))
            EXPECT_EQ(line.find("field calls"), std::string::npos) << line;
    }
}

}  // namespace
