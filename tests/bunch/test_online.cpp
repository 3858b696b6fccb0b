// Online monitors: the counter suffix, the output grid, the slots of the
// "online_monitor" layer, the tracker set-up and the outputs after a step.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "bunch/forces.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::mo2com;
using bunch::moncom;
using bunch::prtcls;
using testsupport::lines_of;
using testsupport::read_file;

class Online : public testsupport::Folder {
protected:
    testsupport::LayerRun omon(const std::string& block) {
        return run_layer("online_monitor " + block, "online_monitor", bunch::lyomon);
    }
    static bool pool_free() {
        for (int u = foundation::unit_pool_lo; u <= foundation::unit_pool_hi; ++u)
            if (foundation::iopcom.iuse(u)) return false;
        return true;
    }
    static int slots_in_use() {
        int n = 0;
        for (int k = 1; k <= cap::maxmon; ++k) n += moncom.moact(k) ? 1 : 0;
        return n;
    }
    // A bunch of three particles along x at the time ct.
    static void set_bunch(double ct) {
        prtcls.npart = 3;
        for (int i = 1; i <= 3; ++i) {
            const double r[7] = {0.001 * (i - 1), 0.0, 0.0, 100.0 + i, 0.0, 0.0, 1e-10};
            for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = r[k - 1];
            prtcls.ldef(i) = true;
            prtcls.lact(i) = true;
        }
        prtcls.ctptcl = ct;
        prtcls.p0 = 101.0;
    }
    // Calls inimo2 and omonit with the log captured.
    static std::vector<std::string> setup() {
        std::int32_t ierr = 0;
        testing::internal::CaptureStdout();
        bunch::inimo2(ierr);
        EXPECT_EQ(ierr, 0);
        return lines_of(testing::internal::GetCapturedStdout());
    }
    static std::int32_t after_step(double ct, std::vector<std::string>* log = nullptr) {
        prtcls.ctptcl = ct;
        std::int32_t ierr = 0;
        testing::internal::CaptureStdout();
        bunch::omonit(ierr);
        auto l = lines_of(testing::internal::GetCapturedStdout());
        if (log) *log = l;
        return ierr;
    }
};

TEST(OnlineSuffix, CounterSuffixNeverWrapsNorCuts) {
    const std::string long_name = std::string(78, 'a') + ".d";
    struct Case {
        std::string name;
        int cnt;
        std::string want;
    };
    const Case cases[] = {
        {"out.dat", 3, "out_0003.dat"},
        {"phase", 3, "phase_0003"},
        {"run.out.txt", 12, "run_0012.out.txt"},
        {".dat", 12, "_0012.dat"},
        {"phase", 1, "phase_0001"},
        {"phase", 9999, "phase_9999"},
        {"out.dat", 10000, "out_10000.dat"},
        {"out.dat", 90000, "out_90000.dat"},
        {"phase", 123456, "phase_123456"},
        {long_name, 7, std::string(78, 'a') + "_0007.d"},
    };
    for (const auto& c : cases) EXPECT_EQ(bunch::monsuf(c.name, c.cnt), c.want) << c.name << " " << c.cnt;
}

TEST(OnlineGrid, OutputsDueOnTheGrid) {
    struct Case {
        const char* name;
        double start, end, step;
        std::vector<double> times;
        std::vector<bool> due;
        double next;  // next grid time afterwards
    };
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
        moncom.mostrt(1) = c.start;
        moncom.moend(1) = c.end;
        moncom.mostep(1) = c.step;
        moncom.mocnt(1) = 0;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(bunch::mogrid(1, c.times[i]), c.due[i]) << c.name << " t=" << c.times[i];
        EXPECT_NEAR(moncom.mostrt(1) + moncom.mocnt(1) * moncom.mostep(1), c.next, 1e-12) << c.name;
    }
}

TEST_F(Online, SlotsOfTheLayer) {
    // a block without a name has no effect
    auto r = omon("{ type = steps }");
    EXPECT_EQ(r.ierr, 0);
    EXPECT_TRUE(r.log.empty());
    EXPECT_EQ(slots_in_use(), 0);

    r = omon("{ name = a start_time_c0 = 0.5 start_time_marker = m1 end_time_marker = m2 "
             "end_time_shift_c0 = 0.25 time_step_c0 = all format = 7 particle = all }");
    ASSERT_EQ(r.ierr, 0);
    EXPECT_TRUE(moncom.moact(1));
    EXPECT_FALSE(moncom.moena(1));
    EXPECT_EQ(moncom.mostrt(1), 0.5);
    EXPECT_TRUE(moncom.mostk(1)) << "the marker is ignored for an absolute start";
    EXPECT_FALSE(moncom.moenk(1));
    EXPECT_EQ(mo2com.moenmk(1).str(), "m2");
    EXPECT_EQ(moncom.moend(1), 0.25);
    EXPECT_EQ(moncom.mostep(1), 0.0);
    EXPECT_TRUE(moncom.mostg(1));
    EXPECT_EQ(moncom.moform(1), 7);
    EXPECT_EQ(moncom.moptcl(1), 0);
    EXPECT_EQ(moncom.motype(1), 0);

    // the same name takes over its slot, closing its open file first
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout("a", unit, ierr);
    ASSERT_EQ(ierr, 0);
    moncom.mounit(1) = unit;
    r = omon("{ name = b start_time_c0 = now end_time_c0 = 1 }");
    ASSERT_EQ(r.ierr, 0);
    r = omon("{ name = a type = subbunch start_time_marker = m1 start_time_shift_c0 = -0.1 "
             "end_time_c0 = 1 time_step_c0 = 0.01 particle = 2 format = fmt2 }");
    ASSERT_EQ(r.ierr, 0);
    EXPECT_EQ(slots_in_use(), 2);
    EXPECT_EQ(mo2com.moname(1).str(), "a");
    EXPECT_EQ(moncom.motype(1), 2);
    EXPECT_EQ(moncom.mounit(1), 0);
    EXPECT_TRUE(pool_free()) << "the replaced slot's file is closed";
    EXPECT_EQ(mo2com.mostmk(1).str(), "m1");
    EXPECT_EQ(moncom.mostrt(1), -0.1);
    EXPECT_EQ(moncom.moptcl(1), 2);
    EXPECT_EQ(moncom.moform(1), 2);
    EXPECT_EQ(mo2com.mostmk(2).str(), "now");
    EXPECT_FALSE(moncom.mostk(2));

    // ten slots in all; an eleventh name is refused, a known one is not
    for (int i = 3; i <= 10; ++i) {
        r = omon("{ name = m" + std::to_string(i) + " start_time_c0 = 0 end_time_c0 = 1 }");
        ASSERT_EQ(r.ierr, 0) << i << " " << (r.log.empty() ? "" : r.log[0]);
    }
    EXPECT_EQ(slots_in_use(), 10);
    r = omon("{ name = eleventh start_time_c0 = 0 end_time_c0 = 1 }");
    EXPECT_NE(r.ierr, 0);
    EXPECT_EQ(r.log, std::vector<std::string>{" error in monitor"});
    r = omon("{ name = m7 type = steps start_time_c0 = 0 end_time_c0 = 1 }");
    EXPECT_EQ(r.ierr, 0);
    EXPECT_EQ(moncom.motype(7), 1);
}

TEST_F(Online, TrackerSetUp) {
    auto& L = lattice::latcom;
    L.nfb = 2;
    lattice::latmks.fbmark(1) = "undefined";
    lattice::latmks.fbmark(2) = "m2";
    L.ctfb(1) = 1.0;
    L.ctfb(2) = 3.0;
    set_bunch(0.75);
    ASSERT_EQ(omon("{ name = now start_time_c0 = now end_time_c0 = 1 time_step_c0 = all }").ierr, 0);
    ASSERT_EQ(omon("{ name = mark start_time_marker = m2 start_time_shift_c0 = -0.1 "
                   "end_time_marker = m2 end_time_shift_c0 = 0.5 time_step_c0 = 0.1 }").ierr, 0);
    ASSERT_EQ(omon("{ name = unknown_marker_monitor_long start_time_marker = m9 end_time_c0 = 1 "
                   "time_step_c0 = all }").ierr, 0);
    ASSERT_EQ(omon("{ name = nostep start_time_c0 = 0 end_time_c0 = 1 }").ierr, 0);
    ASSERT_EQ(omon("{ name = p5 particle = 5 start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = all }").ierr, 0);
    ASSERT_EQ(omon("{ name = p3 type = phase particle = 3 start_time_c0 = 0 end_time_c0 = 1 "
                   "time_step_c0 = all }").ierr, 0);
    const auto log = setup();
    EXPECT_EQ(log, (std::vector<std::string>{
                       " warning: unknown marker for online_monitor",
                       "  warning: online_monitor=unknown_marker_monit is not active",
                       "  warning: online_monitor=nostep               is not active",
                       "  warning: online_monitor=p5                   is not active"}));
    EXPECT_TRUE(moncom.moena(1));
    EXPECT_EQ(moncom.mostrt(1), 0.75) << "now: the bunch time";
    EXPECT_TRUE(moncom.moena(2));
    EXPECT_NEAR(moncom.mostrt(2), 2.9, 1e-15);
    EXPECT_EQ(moncom.moend(2), 3.5);
    EXPECT_EQ(moncom.mocnt(2), 0);
    for (int k : {3, 4, 5}) EXPECT_FALSE(moncom.moact(k)) << k;
    EXPECT_TRUE(moncom.moena(6));
    // enabled slots are left alone by a later set-up
    moncom.mocnt(1) = 4;
    EXPECT_TRUE(setup().empty());
    EXPECT_EQ(moncom.mocnt(1), 4);
}

TEST_F(Online, OutputsAfterSteps) {
    set_bunch(0.0);
    bunch::forces.nfcall(1) = 3;
    bunch::forces.nfcall(5) = 123456;
    bunch::forces.sigma_long = 1e-4;
    bunch::forces.sigma_rad = 2e-4;
    bunch::forces.sigma_vert = 3e-4;
    bunch::tr3com.errsum = 0.5;
    bunch::tr3com.lduty = true;
    ASSERT_EQ(omon("{ name = st.dat type = steps start_time_c0 = 0 end_time_c0 = 0.25 time_step_c0 = all }").ierr, 0);
    ASSERT_EQ(omon("{ name = sb.dat type = subbunch start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = 0.1 }").ierr, 0);
    ASSERT_EQ(omon("{ name = ph.dat start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = 0.1 format = fmt1 }").ierr, 0);
    ASSERT_EQ(omon("{ name = one.dat particle = 2 start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = all format = fmt0 }").ierr, 0);
    EXPECT_TRUE(setup().empty());
    std::vector<std::string> log;
    EXPECT_EQ(after_step(0.0, &log), 0);
    EXPECT_EQ(log, std::vector<std::string>{
                       "  monitor=ph_0001.dat           ctptcl= 0.0000000000000000E+00"});
    EXPECT_EQ(after_step(0.05), 0);
    EXPECT_EQ(after_step(0.2), 0);
    EXPECT_EQ(after_step(0.35), 0);  // past the end of "steps": retired
    EXPECT_FALSE(moncom.moact(1));
    EXPECT_EQ(bunch::omofai(), 0);

    const auto st = lines_of(read_file("st.dat"));
    ASSERT_EQ(st.size(), 3u);
    EXPECT_EQ(st[0], "   0.0000000E+00   0.5000000E+00 1      3      0      0      0 123456");
    EXPECT_EQ(st[2].substr(0, 16), "   0.2000000E+00");
    std::int32_t ierr = 0;
    bunch::eximon(0, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(pool_free());
    EXPECT_EQ(slots_in_use(), 0);
    const auto sb = lines_of(read_file("sb.dat"));
    ASSERT_EQ(sb.size(), 3u) << "outputs at 0, 0.2 (for 0.1) and 0.35 (for 0.3)";
    EXPECT_EQ(sb[0], "   0.0000000E+00   0.1000000E-03   0.2000000E-03   0.3000000E-03");
    // an all-particles phase output is a whole particle file per output
    for (const char* f : {"ph_0001.dat", "ph_0002.dat", "ph_0003.dat"})
        EXPECT_EQ(lines_of(read_file(f)).size(), 4u) << f;
    EXPECT_FALSE(std::filesystem::exists("ph_0004.dat"));
    // a one-particle output appends records with time
    const auto one = lines_of(read_file("one.dat"));
    ASSERT_EQ(one.size(), 4u);
    for (const auto& rec : one) EXPECT_EQ(rec.size(), 7u * 23u);
    EXPECT_EQ(one[1].substr(0, 23), "   0.50000000000000E-01");
}

TEST_F(Online, GreenFilesAroundAStep) {
    set_bunch(0.0);
    ASSERT_EQ(omon("{ name = g.dat type = green start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = 0.5 }").ierr, 0);
    setup();
    std::int32_t ierr = 0;
    bunch::omoni0(0.0, ierr);
    EXPECT_EQ(ierr, 0);
    ASSERT_NE(moncom.mounit(1), 0);
    EXPECT_EQ(after_step(0.0), 0);
    EXPECT_EQ(moncom.mounit(1), 0);
    EXPECT_TRUE(pool_free());
    EXPECT_EQ(lines_of(read_file("g_0001.dat")), std::vector<std::string>{" 0.0000000000000000E+00"});
    bunch::omoni0(0.2, ierr);
    EXPECT_EQ(moncom.mounit(1), 0) << "not due";
    bunch::omoni0(0.5, ierr);
    ASSERT_NE(moncom.mounit(1), 0);
    // due again while its file is still open: the slot is given up
    moncom.mostrt(1) = 0.0;
    moncom.mocnt(1) = 0;
    bunch::omoni0(0.6, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_FALSE(moncom.moact(1));
    EXPECT_TRUE(pool_free());
}

}  // namespace

namespace {

class OnlineClose : public testsupport::Folder {};

}  // namespace
