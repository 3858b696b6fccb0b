// Whole decks through the driver in this process, with a stand-in force
// model that counts its calls: stored force sets are dropped after every
// "particles", "lattice" and "forces" layer, and a failed force evaluation
// ends the run with a nonzero status instead of a step-error line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bunch/tracker.hpp"
#include "bunch/prtcls.hpp"
#include "run/deckfiles.hpp"
#include "run/driver.hpp"
#include "support/support.hpp"

namespace {

using testsupport::count_prefix;

struct Call { bool start; double ct; };  // start: evaluated on the bunch itself, start forces of a step
std::vector<Call> calls;
int fail_at = -1;

void stand_in(void*, bunch::ForceType, foundation::ParticleView XP, foundation::IndexView, double ct, foundation::ForceView F,
              std::int32_t& ierr) {
    const int k = int(calls.size());
    calls.push_back({XP.words().data() == bunch::prtcls.xptcl.data(), ct});
    for (int j = 1; j <= F.size(); ++j) F.along(j) = 1e-6, F.left(j) = F.vert(j) = 0.0;
    ierr = (k == fail_at) ? 1 : 0;
}

const std::string lattice_layer =
    "lattice { dipole { position { delta_s = 1.0 } properties { r = 2.0 } position { delta_s = 0.5 } } }\n";
std::string particles_layer(const std::string& ct) {
    return "particles { array = " + ct +
           " 0 0 0 0 0 0\n"
           " 0 0 0 5e7 0 0 -1e-10  1e-3 0 0 0 0 0 -1e-10  2e-3 0 0 1e5 0 0 -1e-10 }\n";
}
const std::string forces_layer = "forces { type = projected sigma_long = 1e-3 }\n";

class DriverRuns : public testsupport::Folder {
protected:
    std::int32_t run_deck(const std::string& deck, std::vector<std::string>& log) {
        testsupport::write_file("tarvel.in", deck);
        calls.clear();
        bunch::set_force_entry(stand_in, nullptr, true);
        testsupport::start_capture();
        std::int32_t rc = run::tarvel(testsupport::model_work());
        log = testsupport::end_capture();
        foundation::unit_close_all();
        return rc;
    }
};

TEST_F(DriverRuns, StoredForcesDroppedAfterNewBunchLatticeOrModel) {
    struct Case { const char* name; std::string between; int start_evaluations; };  // between: the layer between the runs
    const Case cases[] = {
        {"new bunch at the stored time", particles_layer("0.3"), 2},
        {"new lattice", lattice_layer, 2},
        {"new force model", forces_layer, 2},
        {"step settings only: the stored set is reused", "track_step { iterative = 1 }\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fail_at = -1;
        const std::string deck = lattice_layer + particles_layer("0.0") + forces_layer +
                                 "track_step { iterative = 1 duty_steps = no }\n"
                                 "tracker { delta_time_c0 = 0.3 }\n" +
                                 c.between + "tracker { delta_time_c0 = 0.3 }\nexit\n";
        std::vector<std::string> log;
        EXPECT_EQ(run_deck(deck, log), 0);
        EXPECT_EQ(count_prefix(log, "  integrated step error="), 2);
        EXPECT_EQ(count_prefix(log, "  with 'projected' force"), 2);
        const int starts = int(std::count_if(calls.begin(), calls.end(), [](const Call& k) { return k.start; }));
        EXPECT_EQ(starts, c.start_evaluations);
        ASSERT_FALSE(calls.empty());
        EXPECT_TRUE(calls.front().start && calls.front().ct == 0.0);
        // every step of nonzero length: predictor and one pass (maxit 1)
        EXPECT_EQ(int(calls.size()) - starts, 2 * count_prefix(log, "                     step_error/step_time="));
    }
}

TEST_F(DriverRuns, FailedForceEvaluationEndsTheRun) {
    const std::string deck = lattice_layer + particles_layer("0.0") + forces_layer +
                             "tracker { delta_time_c0 = 0.5 }\ntracker { delta_time_c0 = 0.5 }\nexit\n";
    for (int k : {0, 4}) {
        SCOPED_TRACE(k);
        fail_at = k;
        std::vector<std::string> log;
        EXPECT_EQ(run_deck(deck, log), 1);
        EXPECT_EQ(count_prefix(log, "  integrated step error="), 0);
        // the step that failed, and right after it the stop
        const std::string failure = " error in ttrack: force evaluation failed in the step to ct=";
        EXPECT_EQ(count_prefix(log, failure), 1);
        const auto failed = std::find_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(failure, 0) == 0; });
        ASSERT_TRUE(failed != log.end() && failed + 1 != log.end());
        EXPECT_EQ(failed[1], " error in tarvel: tracking run stopped; last step's output not valid");
        EXPECT_EQ(count_prefix(log, "  start time"), 1) << "the second tracker layer must not run";
        // the step that failed is the last one
        EXPECT_LE(int(calls.size()), k + 1 + 4);
    }
    fail_at = -1;
}

// The outputs a deck names, against the files of the whole deck, before
// any layer runs: the diagnostic files that its runs with test = yes write
// (those of the model and of its preconditioning stage), the lattice
// summary under the output prefix of its layer, the files the deck reads.
TEST_F(DriverRuns, OutputsCheckedAgainstTheWholeDeck) {
    const std::string run = "tracker { end_time_c0 = 1 }\n";
    auto test = [](const std::string& type) { return "forces { type = " + type + " sigma_long = 1e-3 test = yes }\n"; };
    struct Case { const char* name; std::string deck; std::string first_line; std::string hint = {}; };
    const Case cases[] = {
        {"projected", test("projected") + "monitor { name = fc1_curr.dat }\n" + run,
         " name = 'fc1_curr.dat': it is the diagnostic file fc1_curr.dat, which the run of tarvel.in line 3 writes "
         "with test = yes of tarvel.in line 1"},
        {"Green's model, projected stage", test("csr_g_to_m") + run + "monitor { name = fc1.dat }\n",
         " name = 'fc1.dat': it is the diagnostic file fc1.dat, which the run of tarvel.in line 2 writes "
         "with test = yes of tarvel.in line 1"},
        {"Green's model, no stage", test("csr_g_to_m") + "track_step { precondition = no }\n" + run +
         "monitor { name = fc1.dat }\n", ""},
        {"csr_p_to_p", test("csr_p_to_p") + run + "online_monitor { name = fc2.dat type = steps }\n",
         " name = 'fc2.dat': it is the diagnostic file fc2.dat, which the run of tarvel.in line 2 writes "
         "with test = yes of tarvel.in line 1"},
        {"wake resampled only with a wake_file", test("projected") + run + "monitor { name = fc1_w_sub.dat }\n", ""},
        {"test = yes after the last run", run + test("projected") + "monitor { name = fc1.dat }\n", ""},
        {"lattice summary", "monitor { name = ./latout.dat }\n" + lattice_layer,
         " name = './latout.dat': it is the lattice summary latout.dat, which the lattice layer of tarvel.in line 2 "
         "writes"},
        {"lattice summary elsewhere", "io_path { output = out }\n" + lattice_layer +
         "io_path { output = . }\nmonitor { name = latout.dat }\n", ""},
        {"log file onto a later include", "io_path { logfile = later.in }\n#file { name = later.in }\n",
         " logfile = 'later.in': it is the include file later.in, which the run reads"},
        {"monitor read back later", "monitor { name = later.in }\n#file { name = later.in }\n", ""},
        {"monitor read back later, a copy of an earlier run there", "monitor { name = old.in }\n#file { name = old.in }\n",
         " name = 'old.in': it is the include file old.in, which the run reads",
         "   (read back after this layer writes it: remove a copy left by an earlier run)"},
        {"monitor onto a list read before", "#file { name = old.in }\nmonitor { name = old.in }\n",
         " name = 'old.in': it is the include file old.in, which the run reads"},
        {"numbered files", "online_monitor { name = p.dat type = green }\n#file { name = p_0003.dat }\n",
         " name = 'p.dat': its file p_0003.dat would be the include file p_0003.dat, which the run reads"},
    };
    testsupport::write_file("p_0003.dat", "\n");
    testsupport::write_file("old.in", "\n");
    std::filesystem::create_directories("out");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_file("tarvel.in", c.deck);
        testsupport::start_capture();
        const std::int32_t st = run::check_deck_outputs(foundation::scan_deck("tarvel.in"));
        const auto log = testsupport::end_capture();
        EXPECT_EQ(st, c.first_line.empty() ? 0 : 1);
        EXPECT_EQ(log.empty() ? std::string() : log.front(), c.first_line);
        // the line after the deck place says how to get through
        if (!c.first_line.empty()) {
            EXPECT_EQ(log.size() > 3 ? log[2] : std::string(), c.hint);
        }
    }
}

}  // namespace
