// Online monitors: the output grid and the tracker set-up of the slots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.hpp"

namespace {

using bunch::moncom;

class Online : public testsupport::Folder {
protected:
    // The status of an "online_monitor" layer on the block.
    std::int32_t omon(const std::string& block) {
        std::int32_t ierr = 0;
        layer(bunch::lyomon, "online_monitor " + block, ierr);
        return ierr;
    }
    // The tracker set-up of the slots; its log.
    static std::vector<std::string> setup() {
        std::int32_t ierr = 0;
        testsupport::start_capture();
        bunch::inimo2(ierr);
        EXPECT_EQ(ierr, 0);
        return testsupport::end_capture();
    }
};

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

TEST_F(Online, TrackerSetUp) {
    auto& L = lattice::latcom;
    L.nfb = 2;
    lattice::latmks.fbmark(1) = "undefined";
    lattice::latmks.fbmark(2) = "m2";
    L.ctfb(1) = 1.0;
    L.ctfb(2) = 3.0;
    testsupport::line_bunch(3, 0.75, 101.0, 1e-3);
    ASSERT_EQ(omon("{ name = now start_time_c0 = now end_time_c0 = 1 time_step_c0 = all }"), 0);
    ASSERT_EQ(omon("{ name = mark start_time_marker = m2 start_time_shift_c0 = -0.1 "
                   "end_time_marker = m2 end_time_shift_c0 = 0.5 time_step_c0 = 0.1 }"), 0);
    ASSERT_EQ(omon("{ name = unknown_marker_monitor_long start_time_marker = m9 end_time_c0 = 1 "
                   "time_step_c0 = all }"), 0);
    ASSERT_EQ(omon("{ name = nostep start_time_c0 = 0 end_time_c0 = 1 }"), 0);
    ASSERT_EQ(omon("{ name = p5 particle = 5 start_time_c0 = 0 end_time_c0 = 1 time_step_c0 = all }"), 0);
    ASSERT_EQ(omon("{ name = p3 type = phase particle = 3 start_time_c0 = 0 end_time_c0 = 1 "
                   "time_step_c0 = all }"), 0);
    const auto log = setup();
    EXPECT_EQ(log, (std::vector<std::string>{
                       " no field boundary carries the marker m9 of online_monitor unknown_marker",
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

}  // namespace
