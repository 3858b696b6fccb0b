// The bunch on the lattice: next-boundary indices, curvature tables,
// reference crossing times and the next duty boundary.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "lattice/latbunch.hpp"
#include "support/support.hpp"

namespace {

using namespace testsupport;
using bunch::prtcls;
using lattice::latcom;

constexpr double P0 = 100.0;

// Puts particles at (x, y) heading phi with momentum p into the bunch.
void set_bunch(const std::vector<std::array<double, 3>>& xs, double p = P0, double ct = 0.0) {
    prtcls.npart = static_cast<std::int32_t>(xs.size()), prtcls.ctptcl = ct, prtcls.p0 = P0, prtcls.lfbidx = false;
    for (int i = 1; i <= prtcls.npart; ++i) {
        const auto& v = xs[std::size_t(i - 1)];
        const double rec[7] = {v[0], v[1], 0.0, p, v[2], 0.0, 1e-12};
        for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = rec[k - 1];
        prtcls.iptcl(1, i) = -5, prtcls.iptcl(2, i) = 7;
    }
}

// Drift boundaries at x = 1, 3, 6, the last two duty boundaries.
void drifts(bool duty = true) {
    new_lattice();
    add_section(0.0, 1.0);
    add_section(0.0, 2.0, duty);
    add_section(0.0, 3.0, duty);
}

void run_inila2(std::int32_t& ierr) {
    start_capture();
    testsupport::inila2(ierr);
    end_capture();
}

TEST(Inila2, NextBoundaryAndReferenceCrossingTimes) {
    drifts();
    // The reference particle between boundaries 1 and 2 at c*t = 10 m; x = 0
    // before all; 1 on the first line (not before it); 4 between; 7 behind
    // the last line.
    set_bunch({{2.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {1.0, 0.5, 0.0}, {4.0, -0.5, 0.0}, {7.0, 0.0, 0.0}}, P0, 10.0);
    std::int32_t ierr = 5;
    run_inila2(ierr);
    EXPECT_EQ(ierr, 0);
    const int want[] = {2, 1, 2, 3, 4};
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(prtcls.iptcl(1, i) == want[i - 1] && prtcls.iptcl(2, i) == 0) << "particle " << i;
    EXPECT_TRUE(prtcls.lfbidx && latcom.lfbok);
    // the reference particle's crossings, backward and forward
    const double ds[3] = {-1.0, 1.0, 4.0};  // path lengths from the reference particle
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(latcom.ctfb(i), 10.0 + ds[i - 1] / beta(P0), 1e-12) << i;
    // With both flags set the indices kept by the tracking are used as they are.
    prtcls.iptcl(1, 3) = 3;
    run_inila2(ierr);
    EXPECT_EQ(prtcls.iptcl(1, 3), 3);
    // A new bunch recomputes them.
    prtcls.lfbidx = false;
    run_inila2(ierr);
    EXPECT_EQ(prtcls.iptcl(1, 3), 2);
}

TEST(Inila2, CurvatureChangeTable) {
    // radii of boundaries 1..n (boundary 1 straight), the boundaries copied into fbchg, the radii of srtab
    struct Case { std::vector<double> radii; std::vector<int> chg; std::vector<double> srtab_r; } cases[] = {
        {{0, 0, 5, 5, 0, 5}, {2, 3, 4, 5, 6}, {5, 5, 0, 5, 0}},
        {{0, 0, 0}, {1}, {0}},
        {{0}, {1}, {0}},
        {{0, 4, -3, 0}, {1, 2, 3}, {4, -3, 0}},
    };
    for (const auto& c : cases) {
        new_lattice();
        for (double r : c.radii) add_section(r, 1.0);
        set_bunch({{0.0, 0.0, 0.0}});
        std::int32_t ierr = 5;
        run_inila2(ierr);
        ASSERT_EQ(ierr, 0);
        ASSERT_EQ(latcom.nfbchg, static_cast<int>(c.chg.size()));
        for (std::size_t j = 1; j <= c.chg.size(); ++j) {
            for (int k = 1; k <= 8; ++k) EXPECT_EQ(latcom.fbchg(k, j), latcom.fb(k, c.chg[j - 1]));
            EXPECT_EQ(latcom.sr_s(j), latcom.s(c.chg[j - 1]));
            EXPECT_EQ(latcom.sr_r(j), c.srtab_r[j - 1]) << "row " << j;
        }
    }
}

TEST(Latti2, NextDutyBoundaryAndItsTimeWindow) {
    const double b = beta(P0);
    struct Case {
        const char* what; bool duty; std::vector<std::array<double, 3>> xs; bool lany; int ifbdut, ifbmax, ierr;
        double ctmin, ctmax;
    } cases[] = {
        {"heading for boundary 2", true, {{0.0, 0, 0}, {0.5, 0, 0}, {2.0, 0, 0}}, true, 2, 2, 0, 1.0 / b, 3.0 / b},
        {"one particle beyond it", true, {{0.0, 0, 0}, {2.0, 0, 0}, {4.0, 0, 0}}, true, 2, 3, 0, 1.0 / b, 3.0 / b},
        {"all beyond the last duty boundary", true, {{7.0, 0, 0}, {8.0, 0, 0}}, false, 0, 4, 0, 0.0, 0.0},
        {"no duty boundary", false, {{0.0, 0, 0}}, false, 0, 1, 0, 0.0, 0.0},
        {"a particle that cannot arrive", true, {{0.0, 0, 0}, {2.0, 0, pi}}, false, 0, 2, 1, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        drifts(c.duty);
        set_bunch(c.xs);
        std::int32_t ierr = 0;
        run_inila2(ierr);
        ASSERT_EQ(ierr, 0);
        std::int32_t ifbdut = -1, ifbmax = -1;
        bool lany = !c.lany;
        double ctmin = -1.0, ctmax = -1.0;
        lattice::latti2(foundation::particles(prtcls.xptcl, prtcls.npart),
                        foundation::indices(prtcls.iptcl, prtcls.npart), prtcls.ctptcl, prtcls.p0, ifbdut, lany,
                        ctmin, ctmax, ifbmax, ierr);
        EXPECT_TRUE(ierr == c.ierr && lany == c.lany && ifbdut == c.ifbdut && ifbmax == c.ifbmax)
            << ierr << " " << lany << " " << ifbdut << " " << ifbmax;
        EXPECT_NEAR(ctmin, c.ctmin, 1e-12);
        EXPECT_NEAR(ctmax, c.ctmax, 1e-12);
    }
}

}  // namespace
