// The "track_step" and "tracker" layers, the time-grid file and the run
// set-up (end time rules and run configuration lines).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bunch/tracker.hpp"
#include "parallel/process.hpp"
#include "bunch/forces.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "support/support.hpp"

namespace {

using bunch::tr3com;
using bunch::trkcom;
using testsupport::pool_free;
using testsupport::write_file;

std::string grid_text(int n, double step) {
    std::string s;
    for (int i = 0; i < n; ++i) s += std::to_string(i * step) + "\n";
    return s;
}

class TrackLayers : public testsupport::Folder {};

TEST_F(TrackLayers, TrackStepBlock) {
    // grid: the contents of "grid.dat" ("" = no file)
    struct Case { const char* name; std::string body, grid; bool ok; std::vector<std::string> log;
                  std::function<void()> check = [] {}; };
    const Case cases[] = {
        {"small ct_step_max pulls min and first", "{ ct_step_max = 0.005 }", "", true, {},
         [&] { EXPECT_TRUE(tr3com.ct_step_min == 0.0025 && tr3com.ct_step_first == 0.005); }},
        {"ct_step_min not below ct_step_max refused", "{ ct_step_min = 0.2 }", "", false,
         {" ct_step_min = '0.2' must be > 0 and < ct_step_max = 0.1", "   at tarvel.in line 1",
          " error in track_step"}},
        {"a value that is no number", "{\n  ct_step_max = 0.1x }", "", false,
         {" ct_step_max = '0.1x' is not a number, tarvel.in line 2", " error in track_step"}},
        {"factors of 1 and a zero momentum weight accepted",
         "{ error_weight_momentum = 0 arc_factor = 1 increase_factor = 1 }", "", true, {}},
        {"grid of 2000 values", "{ time_grid_file = grid.dat }", grid_text(2000, 0.001), true,
         {" read time_grid_file"},
         [&] { EXPECT_TRUE(tr3com.ngrid == 2000 && tr3com.ctgrid(2000) == 1.999); }},
        {"grid of 2001 values", "{ time_grid_file = grid.dat }", grid_text(2001, 0.001), false,
         {" read time_grid_file", " too many points in time_grid_file: increase matist", " error in track_step"}},
        {"decreasing grid values", "{ time_grid_file = grid.dat }", "0.0\n0.2\n0.1\n", false,
         {" read time_grid_file", " value 3 of grid.dat, 0.1, lies below value 2, 0.2",
          " values in time_grid_file not increasing", " error in track_step"}},
        {"missing grid file", "{ time_grid_file = nogrid.dat }", "", false,
         {" cannot open nogrid.dat for reading: No such file or directory", " error in track_step"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (!c.grid.empty()) write_file("grid.dat", c.grid);
        std::int32_t ierr = 0;
        auto log = layer(bunch::lytrst, "track_step " + c.body + "\n", ierr);
        EXPECT_EQ(ierr == 0, c.ok);
        EXPECT_EQ(log, c.log);
        EXPECT_TRUE(pool_free()) << "a file of the layer was left open";
        EXPECT_EQ(bool(tr3com.lgrid), c.ok && !c.grid.empty());  // a refused grid is not used
        c.check();
    }
}

TEST_F(TrackLayers, TrackerBlockAndEndTime) {
    // end: the resolved end time when the set-up succeeds; log: the lines of
    // the layer and the set-up's error lines
    struct Case { const char* name; std::string body; bool layer_ok, setup_ok; double end; std::vector<std::string> log; };
    const Case cases[] = {
        {"delta wins over end_time_c0", "{ end_time_c0 = 2.5 delta_time_c0 = 0.25 }", true, true, 0.75, {}},
        {"marker wins over delta", "{ delta_time_c0 = 0.25 end_time_marker = end }", true, true, 3.0, {}},
        {"end time equal to the bunch time", "{ end_time_c0 = 0.5 }", true, false, 0.0,
         {" the end time 0.5 m is not after the bunch time 0.5 m", " error: end time < particle time"}},
        {"nothing given", "{ }", true, false, 0.0, {" error: end time is undefined"}},
        {"unknown marker", "{ end_time_marker = nowhere }", true, false, 0.0,
         {" no field boundary of the lattice carries the marker nowhere", " error: unknown marker for track time",
          " error: end time is undefined"}},
        {"1e9 steps of ct_step_max ahead (0.1 m)", "{ delta_time_c0 = 1e8 }", true, true, 0.5 + 1e8, {}},
        {"further than 1e9 steps of ct_step_max", "{ delta_time_c0 = 1.0000001e8 }", true, false, 0.0,
         {" error: end time lies more than 1e9 steps of ct_step_max ahead"}},
        {"unknown key", "{ end_time = 1 }", false, false, 0.0,
         {" 'end_time' is not a key of this block, tarvel.in line 1", " error in assign: unknown identifyer",
          " error in tracker"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        // two marked boundaries and their reference crossing times; the bunch at 0.5
        lattice::latcom.nfb = 2;
        lattice::latmks.fbmark(1) = "start", lattice::latmks.fbmark(2) = "end";
        lattice::latcom.ctfb(1) = 1.0, lattice::latcom.ctfb(2) = 3.0;
        testsupport::line_bunch(1, 0.5, 100.0, 0.0);
        // a previous layer's values never leak into this one
        trkcom.delta_time_c0 = 9.0;
        bunch::tr2com.end_time_marker = "end";
        std::int32_t ierr = 0;
        auto log = layer(bunch::lytrck, "tracker " + c.body + "\n", ierr);
        EXPECT_EQ(ierr == 0, c.layer_ok);
        if (c.layer_ok) {
            testsupport::start_capture();
            bunch::initr2(ierr);
            auto more = testsupport::end_capture();
            EXPECT_EQ(ierr == 0, c.setup_ok);
            if (ierr != 0) log.insert(log.end(), more.begin(), more.end());
            if (c.setup_ok) { EXPECT_EQ(trkcom.end_time_c0, c.end); }
        }
        EXPECT_EQ(log, c.log);
    }
}

// The force-model lines of the run configuration (a stand-in model makes
// every type acceptable to the set-up).
void stand_in(bunch::ForceType, foundation::ParticleView, foundation::IndexView, double, foundation::ForceView,
              std::int32_t& ierr) { ierr = 0; }

TEST_F(TrackLayers, RunConfigurationModelLines) {
    testsupport::line_bunch(1, 0.0, 100.0, 0.0);
    lattice::latcom.nfb = 1;  // the models run along the design path through the boundaries
    // lines: those between the end time and the step settings
    struct Case { const char* name; std::function<void()> set; std::vector<std::string> lines; };
    auto& f = bunch::forces;
    const Case cases[] = {
        {"projected shielded",  // the wake's lines: the deck projected_wake_file
         [&] { f.itype = 1, f.shield = 0.02, f.shield_max = 0.3; },
         {"  with 'projected' force", "    shield             = 2.0000000000000000E-02",
          "    shield_max         = 2.9999999999999999E-01"}},
        {"projected, par1 and par5",
         [&] { f.itype = 1, f.par1 = -1.0, f.par5 = 2.0; },
         {"  with 'projected' force", "    par1               = -1.0000000000000000E+00",
          "    par5               = 2.0000000000000000E+00", "      wake_field:=wake_field*(1-par5)"}},
        {"csr_p_to_m on two processes",
         [&] { f.itype = 3, f.sbox = 0.5, f.rbox = 0.25, parallel::cmpcom.nprocs = 2; },
         {"  with 'csr_p_to_m' force on  2  cpus", "  sbox                 = 5.0000000000000000E-01",
          "  rbox                 = 2.5000000000000000E-01"}},
        {"csr_p_to_p shielded, one process",
         [&] { f.itype = 2, f.shield = 0.01, f.shield_max = 0.5; },
         {"  with 'csr_p_to_p' force", "  shield               = 1.0000000000000000E-02",
          "  shield_max           = 5.0000000000000000E-01"}},
    };
    bunch::set_force_entry(stand_in, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t ierr = 0;
        forces::inifrc(ierr);
        f.shield = 0.0, parallel::cmpcom.nprocs = 1;
        bunch::initrk(ierr);
        tr3com.precondition = false, tr3com.maxit = 1, tr3com.duty_steps = false, trkcom.end_time_c0 = 0.375;
        c.set();
        testsupport::start_capture();
        bunch::initr2(ierr);
        auto log = testsupport::end_capture();
        EXPECT_EQ(ierr, 0);
        ASSERT_GE(log.size(), 9u);
        EXPECT_EQ(std::vector<std::string>(log.begin() + 3, log.end() - 6), c.lines);
    }
}

// A force model without the field boundaries its design path runs through
// stops the run at its set-up with a clear line instead of running it.
TEST_F(TrackLayers, ForceModelsNeedAFieldBoundary) {
    testsupport::line_bunch(1, 0.0, 100.0, 0.0);
    lattice::latcom.nfb = 0;  // (the models' set-up with one: RunConfigurationModelLines)
    for (int t = 1; t <= 5; ++t) {
        const std::string word(bunch::force_models[std::size_t(t)].word);
        trkcom.end_time_c0 = 1.0, bunch::forces.itype = t;
        std::int32_t ierr = 0;
        testsupport::start_capture();
        bunch::initr2(ierr);
        const auto log = testsupport::end_capture();
        EXPECT_NE(ierr, 0) << word;
        EXPECT_EQ(log, std::vector<std::string>{" error: force type '" + word + "' needs a field boundary, no tracking run"});
    }
}

}  // namespace
