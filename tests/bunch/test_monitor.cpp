// Monitors: the path coordinates and forces of the "fmt3" monitor file
// against their closed forms (the deck tests check the layouts, refusals and
// round trips), the online monitors' output grid and the tracker set-up of
// their slots; bunch statistics (rms sizes about particle 1 and the
// step-error measure) on small bunches with answers in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bunch/error.hpp"
#include "bunch/forces.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::moncom;
using bunch::prtcls;
using testsupport::pi;

class Monitor : public testsupport::Folder {};

// The numbers of every record of the "fmt3" monitor file written now.
std::vector<std::vector<double>> fmt3_records(const std::string& name) {
    std::int32_t ierr = 0;
    testsupport::start_capture();
    bunch::monito(name, 3, ierr);
    testsupport::end_capture();
    EXPECT_EQ(ierr, 0);
    std::vector<std::vector<double>> recs;
    for (const auto& rec : testsupport::lines_of(testsupport::read_file(name))) {
        recs.emplace_back();
        for (const auto& t : foundation::split_record(rec))
            EXPECT_EQ(foundation::read_real(t, recs.back().emplace_back()), 0) << t;
    }
    return recs;
}

TEST_F(Monitor, PathCoordinatesOfFmt3) {
    // boundary 1 at the origin heading +x; a quarter arc of radius 1 turning
    // clockwise ends at boundary 2 (1,-1) heading -y; boundary 3 2 m further
    auto& L = lattice::latcom;
    L.nfb = 3;
    const double fb[3][8] = {{0, 0, 1, 0, 0, 1, 0, 0}, {1, -1, 0, -1, 1, 0, pi / 2, 1.0}, {1, -3, 0, -1, 1, 0, pi / 2 + 2, 0.0}};
    for (int i = 1; i <= 3; ++i)
        for (int k = 1; k <= 8; ++k) L.fb(k, i) = fb[i - 1][k - 1];
    // particle 1 at angle 0.3 on the arc, 0.01 outside; particle 2 at angle
    // 0.5, 0.02 inside, moving along the arc; particle 3 (inactive) before
    // boundary 1; particle 4 on the straight after boundary 2
    const double b1 = 0.3, b2 = 0.5, r1 = 1.01, r2 = 0.98;
    const double recs[4][7] = {{r1 * std::sin(b1), -1 + r1 * std::cos(b1), 0.001, 2.0, -b1, 0.0, 1e-9},
                               {r2 * std::sin(b2), -1 + r2 * std::cos(b2), 0.0, 3.0, -b2 + 0.01, 0.02, 1e-9},
                               {-0.5, 0.1, 0.0, 2.0, 0.0, 0.0, 0.0},
                               {1.03, -2.0, 0.0, 2.0, -pi / 2, 0.0, 1e-9}};
    const int next[4] = {2, 2, 1, 3};
    prtcls.npart = 4, prtcls.p0 = 2.0, prtcls.ctptcl = 1.5;
    for (int i = 1; i <= 4; ++i) {
        for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = recs[i - 1][k - 1];
        prtcls.ldef(i) = true, prtcls.lact(i) = i != 3;
        prtcls.iptcl(1, i) = next[i - 1], prtcls.iptcl(2, i) = 0;
    }
    bunch::forcs2.ctfk = 1.5;  // forces of this very time are stored
    bunch::forcs2.fk(1, 2) = 2 * foundation::force_scale, bunch::forcs2.fk(2, 2) = -3 * foundation::force_scale;
    bunch::show_subbunch_sizes(1e-4, 0.0, 0.0);  // the sizes of the evaluation that stored them
    const auto v = fmt3_records("p3.dat");
    ASSERT_EQ(v.size(), 5u);
    // header: c*t, gamma0 = sqrt(5), ..., sigma_long
    EXPECT_TRUE(v[0][0] == 1.5 && std::fabs(v[0][1] - std::sqrt(5.0)) < 1e-13 && std::fabs(v[0][7] - 1e-4) < 1e-18);
    const double want[4][6] = {  // h, h', z, z', s - s1, gamma/gamma0 - 1
        {0.01, 0.0, 0.001, 0.0, 0.0, 0.0},
        {-0.02, std::tan(0.01), 0.0, std::tan(0.02) / std::cos(0.01), b2 - b1, std::sqrt(10.0 / 5.0) - 1},
        {0.1, 0.0, 0.0, 0.0, -0.5 - b1, 0.0},
        {0.03, 0.0, 0.0, 0.0, pi / 2 + 1 - b1, 0.0}};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(v[i + 1].size(), 12u);
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(v[i + 1][k], want[i][k], 1e-12) << "particle " << i + 1 << " field " << k + 1;
    }
    EXPECT_TRUE(std::fabs(v[2][7] - 2.0) < 1e-12 && std::fabs(v[2][8] + 3.0) < 1e-12) << "forces in eV/m";
    EXPECT_TRUE(v[3][10] == 0.0 && v[3][11] == 1.0) << "inactive, defined";
    // forces of another time are not shown
    bunch::forcs2.ctfk = 1.0;
    const auto w = fmt3_records("p3b.dat");
    EXPECT_TRUE(w[2][7] == 0.0 && w[0][7] == 0.0);
}

// Online monitors: the output grid and the tracker set-up of the slots.
TEST(OnlineGrid, OutputsDueOnTheGrid) {
    // next: the next grid time afterwards
    struct Case { const char* name; double start, end, step; std::vector<double> times; std::vector<bool> due; double next; };
    const Case cases[] = {
        {"step 0.02: skipped grid times, one output per step", 0.0, 1.0, 0.02,
         {0.0, 0.015, 0.05, 0.051}, {true, false, true, false}, 0.06},
        {"all: every step from the start on", 0.1, 1.0, 0.0, {0.0, 0.1, 0.1, 0.3},
         {false, true, true, true}, 0.1},
        {"end in the past: nothing", 0.0, 0.5, 0.1, {0.6, 0.7}, {false, false}, 0.0},
        {"start in the future", 2.0, 3.0, 0.5, {1.0, 1.9, 2.0}, {false, false, true}, 2.5},
        {"retired after its end", 0.0, 0.25, 0.1, {0.0, 0.2, 0.26}, {true, true, false}, 0.3},
        {"tiny step, long gap: no overflow", 0.0, 10.0, 1e-300, {0.0, 5.0}, {true, true}, 5.0},
    };
    for (const auto& c : cases) {
        moncom.mostrt(1) = c.start, moncom.moend(1) = c.end, moncom.mostep(1) = c.step, moncom.mocnt(1) = 0;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(bunch::mogrid(1, c.times[i]), c.due[i]) << c.name << " t=" << c.times[i];
        EXPECT_NEAR(moncom.mostrt(1) + moncom.mocnt(1) * moncom.mostep(1), c.next, 1e-12) << c.name;
    }
}

TEST_F(Monitor, OnlineTrackerSetUp) {
    auto& L = lattice::latcom;
    L.nfb = 2, L.ctfb(1) = 1.0, L.ctfb(2) = 3.0;
    lattice::latmks.fbmark(1) = "undefined", lattice::latmks.fbmark(2) = "m2";
    testsupport::line_bunch(3, 0.75, 101.0, 1e-3);
    std::int32_t ierr = 0;
    for (const char* block : {"{ name = now start_time_c0 = now end_time_c0 = 1 time_step_c0 = all }",
                              "{ name = mark start_time_marker = m2 start_time_shift_c0 = -0.1 "
                              "end_time_marker = m2 end_time_shift_c0 = 0.5 time_step_c0 = 0.1 }",
                              "{ name = unknown_marker_monitor_long start_time_marker = m9 end_time_c0 = 1 "
                              "time_step_c0 = all }",
                              "{ name = p5 particle = 5 start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = all }",
                              "{ name = p3 type = phase particle = 3 start_time_c0 = 0 end_time_c0 = 1 "
                              "time_step_c0 = all }"}) {
        layer(bunch::lyomon, std::string("online_monitor ") + block, ierr);
        ASSERT_EQ(ierr, 0) << block;
    }
    testsupport::start_capture();
    bunch::inimo2(ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(testsupport::end_capture(), (std::vector<std::string>{
                       " no field boundary carries the marker m9 of online_monitor unknown_marker",
                       " warning: unknown marker for online_monitor",
                       "  warning: online_monitor=unknown_marker_monit is not active",
                       "  warning: online_monitor=p5                   is not active"}));
    // (the start from a marker, a monitor without a time step and a slot left
    // alone by a later set-up: the deck online_force_free)
    EXPECT_TRUE(moncom.moena(1) && moncom.moena(2) && moncom.moena(5));
    EXPECT_EQ(moncom.mostrt(1), 0.75) << "now: the bunch time";
    EXPECT_EQ(moncom.moend(2), 3.5) << "the end from a marker and its shift";
    for (int k : {3, 4}) EXPECT_FALSE(moncom.moact(k)) << k;
}

// ---- bunch statistics

using ftypes::Logical;

struct P { double x, y, z, p, phi, q; bool act; };

// Particles in the 7-word record layout, and their active flags.
struct Packed {
    std::vector<double> rec;
    std::vector<Logical> act;
    explicit Packed(const std::vector<P>& ps) {
        for (const auto& p : ps) rec.insert(rec.end(), {p.x, p.y, p.z, p.p, p.phi, 0.0, p.q}), act.push_back(p.act);
    }
    foundation::ConstParticleView view() const { return {rec.data(), std::int32_t(act.size())}; }
};

TEST(Statistics, RmsSizesAboutParticleOne) {
    struct Case { const char* name; std::vector<P> ps; double su, sv, sz, tol = 1e-12; };
    // Two active particles along the motion and above it: the sums are
    // w*(u^2), the variance sum(w*u^2)/W - (sum(w*u)/W)^2, digit for digit.
    const auto exact = [](double q2, double d) {
        const double w = 1e-9 + q2, s1 = q2 * d, s2 = q2 * (d * d), r = std::sqrt(s2 / w - (s1 / w) * (s1 / w));
        return Case{"exact to the last bit", {{0, 0, 0, 1, 0, 1e-9, true}, {d, 0, d, 1, 0, q2, true}}, r, 0, r, 0.0};
    };
    const Case cases[] = {
        {"one active particle", {{1, 2, 3, 1, 0, 1e-9, true}}, 0, 0, 0},
        {"motion along y: along and across exchange",
         {{0, 0, 0, 1, pi / 2, 1, true}, {0, 2, 0, 1, 0, 1, true}, {-4, 0, 0, 1, 0, 1, true}},
         std::sqrt(8.0 / 9.0), std::sqrt(32.0 / 9.0), 0},
        // motion at 30 degrees: in the frame of particle 1 the others lie 2
        // along the motion and 1 across it, the rotation undone exactly
        {"motion at 30 degrees: along and across in the frame of particle 1",
         {{0, 0, 0, 1, pi / 6, 1, true}, {std::sqrt(3.0), 1, 1, 1, 0, 1, true},
          {-0.5, std::sqrt(0.75), -1, 1, 0, 1, true}},
         std::sqrt(8.0 / 9.0), std::sqrt(2.0 / 9.0), std::sqrt(2.0 / 3.0)},
        {"three equal charges in a row, vertical spread",
         {{0, 0, 0, 1, 0, 1, true}, {1, 0, 1, 1, 0, 1, true}, {2, 0, -1, 1, 0, 1, true}},
         std::sqrt(2.0 / 3.0), 0, std::sqrt(2.0 / 3.0)},
        {"charge-weighted", {{0, 0, 0, 1, 0, 3, true}, {4, 0, 0, 1, 0, 1, true}}, std::sqrt(3.0), 0, 0},
        {"two along the motion, inactive particles ignored though charged",
         {{0, 0, 0, 1, 0, 1, true}, {2, 0, 0, 1, 0, 1, true}, {100, 50, 9, 1, 0, 5, false}}, 1, 0, 0},
        {"negative weight, negative variance gives 0",
         {{0, 0, 0, 1, 0, 1, true}, {2, 0, 0, 1, 0, -0.5, true}}, 0, 0, 0},
        {"no active particle", {{0, 0, 0, 1, 0, 1, false}, {2, 1, 1, 1, 0, 1, false}}, 0, 0, 0},
        {"active charges summing to zero", {{0, 0, 0, 1, 0, 1, true}, {2, 1, 1, 1, 0, -1, true}}, 0, 0, 0},
        exact(1.143e-9, 0.01507), exact(1.26e-9, 0.0274), exact(1.403e-9, 0.04247),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Packed b(c.ps);
        double su = -1, sv = -1, sz = -1;
        bunch::rmspar(b.view(), b.act, su, sv, sz);
        EXPECT_TRUE(std::fabs(su - c.su) <= c.tol && std::fabs(sv - c.sv) <= c.tol && std::fabs(sz - c.sz) <= c.tol)
            << su << " " << sv << " " << sz;
    }
}

TEST(Statistics, StepErrorMeasure) {
    struct Case { const char* name; std::vector<P> old_, new_; double e1, e2; };
    const Case cases[] = {
        {"one active particle", {{0, 0, 0, 1, 0, 1, true}}, {{1, 1, 0, 2, 0, 1, true}}, 0, 0},
        {"sideways displacement counts, vertical does not",
         {{0, 0, 0, 1, 0, 1, true}, {1, 0, 0, 2, 0, 1, true}},
         {{0, 0, 0, 1, 0, 1, true}, {1, 0.3, 7, 2, 0, 1, true}}, std::sqrt(0.09 / 2) / 0.5, 0},
        {"no length spread", {{0, 0, 0, 1, 0, 1, true}, {0, 1, 0, 2, 0, 1, true}},
         {{5, 0, 0, 1, 0, 1, true}, {5, 9, 0, 3, 0, 1, true}}, 0, 0},
        {"displacement and momentum change, inactive particles ignored",
         {{0, 0, 0, 1, 0, 1, true}, {1, 0, 0, 2, 0, 1, true}, {0, 0, 0, 1, 0, 0, false}},
         {{0, 0, 0, 1, 0, 1, true}, {1.1, 0, 0, 2.2, 0, 1, true}, {50, 0, 0, 9, 0, 0, false}},
         std::sqrt(0.01 / 2) / 0.55, std::sqrt(0.04 / 2) / 0.6},
        {"no active particle", {{0, 0, 0, 1, 0, 1, false}, {1, 0, 0, 2, 0, 1, false}},
         {{0, 0, 0, 1, 0, 1, false}, {2, 0, 0, 3, 0, 1, false}}, 0, 0},
    };
    for (const auto& c : cases) {
        const Packed b1(c.old_), b2(c.new_);
        double e1 = -1, e2 = -1;
        bunch::error1(b1.view(), b2.view(), b2.act, e1, e2);
        EXPECT_TRUE(std::fabs(e1 - c.e1) < 1e-12 && std::fabs(e2 - c.e2) < 1e-12) << c.name << ": " << e1 << " " << e2;
    }
}

}  // namespace
