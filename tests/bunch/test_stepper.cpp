// The time step: step-size control (growth, arc limit, landing on the end
// time, the time grid, duty steps), the iterated step with a test force
// model that counts its calls (evaluations per step against maxit and
// precondition, reuse of the stored force sets, the zero-length first step,
// failed evaluations), and the layers and run set-up that configure them.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "lattice/latcom.hpp"
#include "parallel/process.hpp"
#include "support/support.hpp"

namespace {

using testsupport::count_prefix;

using bunch::tr3com;
using bunch::trkcom;
using testsupport::pool_free;
using testsupport::write_file;
using ftypes::Logical;

// Runs the step control as the time loop does (the bunch time follows each
// target) from the bunch time to the end and returns the steps taken and
// the log. The last call returns no step.
std::vector<double> run_steps(std::vector<std::string>* log = nullptr, int maxsteps = 1000) {
    std::vector<double> steps;
    double ctnext = bunch::prtcls.ctptcl;
    Logical reset = true, lstep = true;
    testsupport::start_capture();
    for (int k = 0; k < maxsteps; ++k) {
        bunch::prtcls.ctptcl = ctnext;  // the step moved the bunch to ctnext
        bunch::steper(ctnext, reset, lstep);
        EXPECT_FALSE(reset);
        if (!lstep) break;
        steps.push_back(ctnext - bunch::prtcls.ctptcl);
    }
    auto out = testsupport::end_capture();
    if (log) *log = out;
    return steps;
}

class Stepper : public testsupport::Folder {};

TEST_F(Stepper, AdaptiveSequences) {
    // binary-exact limits: the sequences are exact
    struct Case { const char* name; double end, mx, mn, first, inc; std::vector<double> steps; };
    const Case cases[] = {
        {"steps shrunk in proportion", 0.4375, 0.125, 0.015625, 0.125, 2.0, {0.1171875, 0.1171875, 0.1171875, 0.0859375}},
        {"growth by 1.5, a short last step", 1.0, 0.25, 0.0625, 0.0625, 1.5,
         {0.0625, 0.09375, 0.140625, 0.2109375, 0.25, 0.2421875}},
        {"first step below min starts at min, full steps", 0.5, 0.25, 0.125, 0.125, 1.0, {0.125, 0.125, 0.125, 0.125}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::line_bunch(1, 0.0, 100.0, 0.0);
        tr3com.ct_step_max = c.mx, tr3com.ct_step_min = c.mn, tr3com.ct_step_first = c.first;
        tr3com.increase_factor = c.inc, bunch::trkcom.end_time_c0 = c.end;
        EXPECT_EQ(run_steps(), c.steps);
        EXPECT_EQ(bunch::prtcls.ctptcl, c.end);  // lands exactly on the end time
        EXPECT_FALSE(tr3com.lduty);
    }
}

// The arc limit of a bend, arc_factor*(24*rmslon*R**2)**0.3333333 with R**2
// formed first: a bunch of rms length sl in a section of radius r.
TEST_F(Stepper, ArcLimit) {
    // ifb: particle 1's next boundary; arc: the arc limit governs (else ct_step_max, 0.1)
    struct Case { const char* name; double r, sl; int ifb; bool arc; };
    const Case cases[] = {
        {"wide bend: ct_step_max governs", 10.0, 1e-4, 2, false},
        {"tight bend: below ct_step_min", 1.0, 1e-7, 2, true},
        {"negative radius", -1.0, 1e-7, 2, true},
        {"before the first boundary: radius of boundary 1", 1.0, 1e-7, 1, false},
        {"beyond the last boundary: straight", 1.0, 1e-7, cap::maxlat + 1, false},
        {"radius squared before the product", 2.3, 1e-7, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto& l = lattice::latcom;
        l.nfb = cap::maxlat;
        for (int i = 1; i <= l.nfb; ++i) l.r(i) = (i == 2) ? c.r : 0.0, l.fbduty(i) = false;
        testsupport::line_bunch(2, 0.0, 100.0, 2.0 * c.sl);  // 2 sl apart: rms length sl
        bunch::prtcls.iptcl(1, 1) = bunch::prtcls.iptcl(1, 2) = c.ifb;
        const double want = c.arc ? 0.5 * std::pow(24.0 * c.sl * (c.r * c.r), 0.3333333) : 0.1;
        bunch::trkcom.end_time_c0 = 9.9 * want;  // the landing rule never shrinks these steps
        auto steps = run_steps(nullptr, 20);
        ASSERT_EQ(steps.size(), 10u);
        const double rl = bunch::prtcls.rmslon;
        EXPECT_NEAR(rl, c.sl, 1e-18);
        // the first step from c*t 0 to the last bit (R**2 formed first: the other association differs at 2.3)
        EXPECT_EQ(steps[0], c.arc ? 0.5 * std::pow(24.0 * rl * (c.r * c.r), 0.3333333) : 0.1);
        if (c.r == 2.3) {
            EXPECT_NE(steps[0], 0.5 * std::pow(24.0 * rl * c.r * c.r, 0.3333333)) << "the associations round alike";
        }
        for (std::size_t i = 1; i < 9; ++i) EXPECT_NEAR(steps[i], want, 1e-15) << i;
    }
}

// A time grid that gives a run no step at all ends it as a failure (every
// value in the past, and a grid that gives steps: the decks grid_in_past and
// time_grid).
TEST_F(Stepper, GridWithoutStepFails) {
    for (const auto& [name, end, tolerance] :
         {std::tuple{"a tolerance beyond the whole grid", 0.2, 1e9}, {"the end before the first value ahead", 0.05, 1e-5}}) {
        SCOPED_TRACE(name);
        testsupport::line_bunch(1, 0.0, 100.0, 0.0);
        tr3com.lgrid = true, tr3com.ngrid = 3, tr3com.steps_tolerance = tolerance, bunch::trkcom.end_time_c0 = end;
        for (int i = 1; i <= 3; ++i) tr3com.ctgrid(i) = 0.1 * (i - 1);
        std::vector<std::string> log;
        EXPECT_TRUE(run_steps(&log).empty());
        EXPECT_TRUE(bunch::stpfai());
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], " error in steper: no time-grid value for this run, nothing tracked");
    }
}

// The projected sum once the step has stopped growing gives, bit for bit,
// what adding the step one time after the other gives: steps of decimal and
// of binary-exact lengths, sums that cross many binades, steps whose
// rounding ties (g an odd number of half spacings of the sum), a target the
// first addition already passes.
TEST(ProjectedSum, EqualsOneByOneAdditions) {
    auto one_by_one = [](double s, double g, double d) {
        do s = s + g;
        while (s < d);
        return s;
    };
    std::vector<std::array<double, 3>> cases = {
        {0.1, 0.1, 1000.0}, {0.1, 0.1, 8000.0}, {0.05, 0.1, 123.456}, {0.3, 0.1, 0.35}, {0.125, 0.125, 77.0},
        {1e-3, 7e-3, 5000.0}, {0.0, 0.1, 0.0}, {2.5, 0.1, 2.0},
        // s = 2^52 * u with u = 1: g = 1.5 ties at every addition
        {4503599627370496.0, 1.5, 4503599627370496.0 + 3000.0}, {4503599627370497.0, 2.5, 4503599627370497.0 + 3001.0},
        {1.0, std::ldexp(3.0, -53), 1.0 + std::ldexp(1.0, -40)}, {1.0, std::ldexp(5.0, -53), 1.0 + std::ldexp(1.0, -40)}};
    std::uint64_t x = 88172645463325252ull;  // xorshift: reproducible random cases
    auto uniform = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<double>(x >> 11) * 0x1.0p-53;
    };
    for (int k = 0; k < 200; ++k) {
        const double g = std::ldexp(0.5 + uniform(), -int(uniform() * 12));
        cases.push_back({g * uniform() * 3.0, g, g * (1.0 + 20000.0 * uniform())});
    }
    for (const auto& c : cases)
        EXPECT_EQ(bunch::add_projected_steps(c[0], c[1], c[2]), one_by_one(c[0], c[1], c[2]))
            << c[0] << " " << c[1] << " " << c[2];
}

// Duty steps: landings just before the first particle reaches a duty
// boundary and just after the last one has passed it, at the entry and exit
// of a dipole.
TEST_F(Stepper, DutyLandingsAtDipoleEntryAndExit) {
    const double dx = 1e-3, p = 100.0, beta = p / std::sqrt(p * p + 1.0);
    ASSERT_NE(testsupport::add_section(0.0, 1.0, true), 0);   // dipole entry
    ASSERT_NE(testsupport::add_section(10.0, 0.5, true), 0);  // dipole exit
    ASSERT_NE(testsupport::add_section(0.0, 1.0, false), 0);
    testsupport::line_bunch(3, 0.0, p, dx);  // on the reference line, dx apart ahead of particle 1
    std::int32_t ierr = 0;
    testsupport::inila2(ierr);
    ASSERT_EQ(ierr, 0);
    bunch::trkcom.end_time_c0 = 2.5;
    bunch::force_settings.itype = 0;
    // the force-free run as the time loop makes it: the duty landings (number, bunch time)
    std::vector<std::pair<int, double>> got;
    double ctnext = 0.0;
    Logical reset = true, lstep = true;
    for (int guard = 0; lstep && guard < 10000; ++guard) {
        double derr = 0.0;
        bunch::ttrack(ctnext, derr, ierr);
        EXPECT_EQ(ierr, 0);
        testsupport::start_capture();
        bunch::steper(ctnext, reset, lstep);
        bool duty = false;
        for (const auto& l : testsupport::end_capture())
            if (l.rfind("  --- duty -------------- ", 0) == 0)
                duty = true, got.emplace_back(std::stoi(l.substr(26)), bunch::prtcls.ctptcl);
        EXPECT_EQ(bool(tr3com.lduty), duty);
    }
    EXPECT_EQ(bunch::prtcls.ctptcl, 2.5) << "the run ended before its end time";
    // the particles follow the reference line: crossing times from the path length
    const double ctmin1 = (1.0 - 2 * dx) / beta, ctmax1 = 1.0 / beta;
    const double a1 = ctmin1 - 1e-10 - 0.01 * (ctmax1 - ctmin1);
    const double ctmin2 = (1.5 - 2 * dx) / beta, ctmax2 = 1.5 / beta;
    const double a2 = ctmin2 - 0.01 * (ctmax2 - ctmin2);
    const std::pair<int, double> want[4] = {
        {1, a1}, {2, ctmax1 + 0.1 * (ctmax1 - a1)}, {1, a2}, {2, ctmax2 + 0.1 * (ctmax2 - a2)}};
    ASSERT_EQ(got.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(got[std::size_t(i)].first, want[i].first) << i;
        EXPECT_NEAR(got[std::size_t(i)].second, want[i].second, 1e-9) << i;
    }
}

using bunch::forcs2;

struct Call { int model; double ct; };
std::vector<Call> calls;
int fail_at = -1;  // number of the call (0-based) that fails

// A force that changes with every call (so two passes never agree) and
// differs from particle to particle.
void counting_force(void*, bunch::ForceType m, foundation::ParticleView, foundation::IndexView, double ct,
                    foundation::ForceView F, std::int32_t& ierr) {
    const int k = int(calls.size());
    calls.push_back({bunch::code(m), ct});
    for (int j = 1; j <= bunch::prtcls.npart; ++j) F.along(j) = 1e-3 * j * (k + 1), F.left(j) = F.vert(j) = 0.0;
    ierr = (k == fail_at) ? 1 : 0;
    if (ierr) F.along(1) = 99.0;  // garbage that must not survive
}

class Itrack : public testsupport::Folder {
protected:
    // A bunch of 5 particles, the counting force installed, no call made.
    void start(int itype) {
        reset();
        bunch::set_force_entry(counting_force, nullptr, true);
        testsupport::line_bunch(5, 0.0, 100.0, 1e-3);
        calls.clear(), fail_at = -1, bunch::force_settings.itype = itype;
    }
    // One step of the bunch to ctnext; the log lines in *log.
    double step(double ctnext, std::vector<std::string>* log = nullptr, std::int32_t* status = nullptr) {
        double derr = -1.0;
        std::int32_t ierr = 0;
        testsupport::start_capture();
        bunch::ttrack(ctnext, derr, ierr);
        auto out = testsupport::end_capture();
        if (log) *log = out;
        if (status) *status = ierr;
        else EXPECT_EQ(ierr, 0);
        return derr;
    }
};

const std::string plain = "  " + std::string(19, ' ') + "step_error/step_time=";
const std::string starred = "  " + std::string(15, ' ') + "*** step_error/step_time=";

TEST_F(Itrack, EvaluationsPerStep) {
    // converge: every pass is accepted at once; first_step, step1: the
    // evaluations of the zero-length first step and of the first real step
    // (start forces stored); the error lines of the two stages
    struct Case { const char* name; int itype; bool precondition; int maxit; bool converge;
                  int first_step, step1, stage1_lines, stage2_lines; };
    const Case cases[] = {
        {"projected, maxit 3, never converged", 1, true, 3, false, 1, 1 + 3, 3, 0},
        {"projected, maxit 3, converged at once", 1, true, 3, true, 1, 1 + 1, 1, 0},
        {"projected, maxit 1", 1, false, 1, false, 1, 1 + 1, 1, 0},
        {"csr_p_to_p with preconditioning", 2, true, 3, false, 2, (1 + 3) + (1 + 2), 3, 3},
        {"csr_p_to_p with preconditioning, converged", 2, true, 3, true, 2, (1 + 1) + (1 + 0), 1, 1},
        {"csr_p_to_p without preconditioning", 2, false, 3, false, 1, 1 + 2, 0, 3},
        {"csr_g_to_m, maxit 1", 5, true, 1, false, 2, (1 + 1) + (1 + 0), 1, 1},
    };
    const int pm[6] = {0, 1, 4, 5, 1, 1};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.itype);
        tr3com.precondition = c.precondition, tr3com.maxit = c.maxit, tr3com.error_per_ct = c.converge ? 1e300 : 1e-300;
        std::vector<std::string> log;
        EXPECT_EQ(step(0.0, &log), 0.0);  // the zero-length first step: no line, nothing moved
        EXPECT_EQ(int(calls.size()), c.first_step);
        for (const auto& k : calls) EXPECT_EQ(k.ct, 0.0);
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(forcs2.ctfk, 0.0);
        EXPECT_EQ(bunch::prtcls.xptcl(1, 2), 1e-3);

        // a second zero-length step reuses the stored sets
        step(0.0);
        EXPECT_EQ(int(calls.size()), c.first_step);

        calls.clear();
        double err = step(0.125, &log);
        EXPECT_EQ(int(calls.size()), c.step1);
        for (const auto& k : calls) {
            EXPECT_EQ(k.ct, 0.125);  // start forces come from the stored sets
            EXPECT_TRUE(k.model == c.itype || k.model == pm[c.itype]) << k.model;
        }
        EXPECT_EQ(count_prefix(log, starred), pm[c.itype] != c.itype ? c.stage1_lines : 0);
        EXPECT_EQ(count_prefix(log, plain), c.stage2_lines + (pm[c.itype] == c.itype ? c.stage1_lines : 0));
        EXPECT_TRUE(err > 0.0 && bunch::prtcls.ctptcl == 0.125 && forcs2.ctfk == 0.125) << err;
        // without a preconditioning stage fi was never computed
        EXPECT_EQ(forcs2.ctfi, c.precondition || pm[c.itype] == c.itype ? 0.125 : ftypes::UNDEF_REAL);
        for (int j = 1; j <= 5 && c.itype == 1; ++j) EXPECT_EQ(forcs2.fk(1, j), forcs2.fi(1, j));
        // the bunch moved: 0.125 m of c*t at nearly the speed of light
        EXPECT_NEAR(bunch::prtcls.xptcl(1, 1), 0.125, 1e-4);
    }
}

// A failed evaluation leaves zero forces, not stale or garbage values, and
// reports the step as failed; the step stops there: no further evaluation
// (neither another pass nor the selected model after a failed
// preconditioning stage), the particles not moved.
TEST_F(Itrack, FailedEvaluationGivesZeroForcesAndStatus) {
    struct Case { const char* name; int itype; int fail; double ctnext; };
    const Case cases[] = {{"start forces", 1, 0, 0.0},
                          {"last pass", 1, 3, 0.125},
                          {"first pass of the preconditioning stage of csr_p_to_p", 2, 2, 0.125}};
    for (const auto& [name, itype, fail, ctnext] : cases) {
        SCOPED_TRACE(name);
        start(itype);
        tr3com.maxit = 2, tr3com.error_per_ct = 1e-300, tr3com.precondition = true;
        if (ctnext > 0.0) step(0.0);
        fail_at = fail;
        const double x1 = bunch::prtcls.xptcl(1, 1);
        std::vector<std::string> log;
        std::int32_t ierr = 0;
        step(ctnext, &log, &ierr);
        EXPECT_NE(ierr, 0);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), " error in ttrack: force evaluation failed in the step to ct=" +
                                  std::string(ctnext > 0.0 ? "   0.12500" : "   0.00000"));
        EXPECT_EQ(int(calls.size()), fail + 1);
        EXPECT_EQ(bunch::prtcls.xptcl(1, 1), x1);
        // every failure here is one of the first stage, whose set is fi
        const auto& f = forcs2.fi;
        for (int j = 1; j <= 5; ++j) EXPECT_TRUE(f(1, j) == 0.0 && f(2, j) == 0.0 && f(3, j) == 0.0) << j;
    }
}

// ---- the "track_step" and "tracker" layers, the time-grid file and the run
// set-up (end time rules and run configuration lines)

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
        {"grid with comments as in the deck", "{ time_grid_file = grid.dat }", "! c*t [m]\n0.0 ! start\n\n0.5\n", true,
         {" read time_grid_file"}, [&] { EXPECT_TRUE(tr3com.ngrid == 2 && tr3com.ctgrid(2) == 0.5); }},
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
        trkcom.delta_time_c0 = 9.0, bunch::tr2com.end_time_marker = "end";
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
void stand_in(void*, bunch::ForceType, foundation::ParticleView, foundation::IndexView, double, foundation::ForceView,
              std::int32_t& ierr) { ierr = 0; }

TEST_F(TrackLayers, RunConfigurationModelLines) {
    testsupport::line_bunch(1, 0.0, 100.0, 0.0);
    lattice::latcom.nfb = 1;  // the models run along the design path through the boundaries
    // lines: those between the end time and the step settings
    struct Case { const char* name; std::function<void()> set; std::vector<std::string> lines; };
    auto& f = bunch::force_settings;
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
    bunch::set_force_entry(stand_in, nullptr, true);
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
        trkcom.end_time_c0 = 1.0, bunch::force_settings.itype = t;
        std::int32_t ierr = 0;
        testsupport::start_capture();
        bunch::initr2(ierr);
        const auto log = testsupport::end_capture();
        EXPECT_NE(ierr, 0) << word;
        EXPECT_EQ(log, std::vector<std::string>{" error: force type '" + word + "' needs a field boundary, no tracking run"});
    }
}

}  // namespace
