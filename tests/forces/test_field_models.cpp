// The models that call the field library, on one process: csr_p_to_p
// against the contracted Coulomb force on a drift (flags, counter, test
// output, progress lines, announced cost); the mesh models against
// csr_p_to_p (no box, box interpolation and its order, congruent histories,
// reuse of a stored Green's function, the set-up check, the centroid, no
// receiver). (The CSR wake in a bend, any process count, a test file that
// cannot be written and a bunch without a source: deck tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "forces/force.hpp"
#include "forces/gmesh.hpp"
#include "forces/work.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::ForceType;
using bunch::force_settings;
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
        auto& f = bunch::force_settings;
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
        forces::forcei(testsupport::model_work(), type, foundation::particles(prtcls.xptcl, n),
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
        EXPECT_EQ(std::exchange(bunch::force_settings.nfcall(2), 0), 2);
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

// Progress lines of the master: sources 1 and npart, and every hundredth
// when npart >= 900, with their leading blank; inactive sources evaluate no
// field.
TEST_F(Force2, ProgressLines) {
    testsupport::add_section(0.0, 1.0);
    prtcls.p0 = 10.0;
    for (int n : {1000, 900, 899, 800}) {
        for (int i = 1; i <= n; ++i) particle(i, 0.0, 0.0, 0.0, 10.0, false);
        // the sources named: 1, the hundreds below n from 900 sources on, n
        std::vector<int> named = {1};
        for (int i = 100; n >= 900 && i < n; i += 100) named.push_back(i);
        named.push_back(n);
        std::vector<std::string> want;
        for (int i : named) want.push_back("  isrc       = " + std::to_string(i) + "  npart = " + std::to_string(n));
        EXPECT_EQ(evaluate(n, 1e-3), want);
        EXPECT_EQ(want.size(), n == 1000 ? 11u : n == 900 ? 10u : 2u);
        EXPECT_EQ(testsupport::model_work().p2p.fields, 0);
    }
}

// At their first evaluation the models of a field call per source and
// observer announce its field calls (2 sources x 3 observers), the most on
// one process, a call's measured time and the evaluation's estimated time.
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
        bunch::force_settings.sbox = bunch::force_settings.rbox = 1e-6;  // no boxes: every particle observes
        bunch::force_settings.nfcall(bunch::code(type)) = 0;
        const auto first = evaluate(3, 1e-4, false, type);
        const auto at = std::find(first.begin(), first.end(), " " + word + ": field calls per evaluation = 6");
        ASSERT_TRUE(at != first.end() && first.end() - at >= 3);
        EXPECT_TRUE(std::regex_match(at[1], each)) << at[1];
        EXPECT_TRUE(std::regex_match(at[2], time)) << at[2];
        for (const auto& line : evaluate(3, 1e-4, false, type))
            EXPECT_EQ(line.find("field calls"), std::string::npos) << line;
    }
}

constexpr double p0 = 195.7;  // m*c, 100 MeV
constexpr double R = 5.0;     // m, radius of the bend
constexpr double sig = 1e-3;  // m, sub-bunch length
const std::string reused = " using old green's function";

struct Forces2 {
    std::vector<double> along, left;
};

class Force3 : public testsupport::Folder {
protected:
    // A drift from x = 1 to 21 m, or 1 m, a bend of R and 4 m, 1 m; spheres of
    // sig (ellipsoids of sigr across when sigr > 0), boxes box*sig x box*sigr.
    void setup(bool bend, double box, double sigr = 0.0) {
        bend_ = bend;
        testsupport::add_section(0.0, 1.0);
        if (bend) testsupport::add_section(r_, 4.0);
        testsupport::add_section(0.0, bend ? 1.0 : 20.0);
        settings(box, sigr);
    }
    static void settings(double box, double sigr) {
        auto& f = force_settings;
        f.ishape = sigr > 0.0 ? 3 : 2;
        f.sigma_long = sig;
        f.sigma_rad = f.sigma_vert = sigr;
        f.lrell = f.lradl = f.lrelv = f.lfill = f.lfilr = f.lfilv = false;
        f.rintmi = 1e-9;
        f.shield = 0.0, f.shield_max = 0.3;
        f.sbox = f.rbox = box;
        f.loldms = true;
        f.green_work_max = 2e6;  // field calls
    }
    // Particle i, d along and h to the left of the design orbit's point at
    // path length s [m] of the lattice (on the bend: the arc from s = 1 m).
    void particle(int i, double s, double d, double h, double q = -1e-12) const {
        double x = s, y = 0.0, phi = 0.0;
        if (bend_ && s > 1.0) {
            const double a = (s - 1.0) / r_;  // clockwise
            x = 1.0 + r_ * std::sin(a), y = -r_ + r_ * std::cos(a), phi = -a;
        }
        const double c = std::cos(phi), sn = std::sin(phi);
        const double r[7] = {x + d * c - h * sn, y + d * sn + h * c, 0.0, p0_, phi, 0.0, q};
        for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = r[k - 1];
        prtcls.lact(i) = prtcls.ldef(i) = true;
    }
    void finish(int n) const {
        prtcls.npart = n;
        prtcls.p0 = p0_;
        prtcls.ctptcl = 0.0;
        prtcls.lfbidx = false;
        std::int32_t ierr = 0;
        testsupport::inila2(ierr);
        ASSERT_EQ(ierr, 0);
    }
    // n particles at s (the first on the orbit): a Gaussian of rms lengths
    // (sl, sr), or a line along the orbit for sr = 0 (on the bend: along the
    // arc, every particle's path the first's turned and shifted).
    void bunch(int n, double s, double sl, double sr) const {
        std::mt19937 gen(11);
        std::normal_distribution<double> g(0.0, 1.0);
        particle(1, s, 0.0, 0.0);
        for (int i = 2; i <= n; ++i) {
            const double d = sl * g(gen), h = sr * g(gen);
            if (sr == 0.0) particle(i, s + d, 0.0, 0.0);
            else particle(i, s, d, h);
        }
        finish(n);
    }
    // One evaluation of a model at c*t = 0; the forces and the lines it printed.
    static Forces2 evaluate(ForceType type, std::vector<std::string>* out = nullptr) {
        const int n = prtcls.npart;
        std::int32_t ierr = 0;
        testsupport::start_capture();
        forces::forcei(testsupport::model_work(), type, foundation::particles(prtcls.xptcl, n), foundation::indices(prtcls.iptcl, n), 0.0,
                       foundation::forces_of(F, n), ierr);
        const auto lines = testsupport::end_capture();
        if (out) *out = lines;
        EXPECT_EQ(ierr, 0);
        Forces2 r;
        for (int j = 1; j <= n; ++j) {
            r.along.push_back(F(1, j));
            r.left.push_back(F(2, j));
            EXPECT_EQ(F(3, j), 0.0);
        }
        return r;
    }
    // Largest difference of the two components over the receiving
    // particles, relative to the largest force of the reference.
    static double error(const Forces2& a, const Forces2& ref) {
        double peak = 0.0, worst = 0.0;
        for (std::size_t j = 0; j < ref.along.size(); ++j) {
            if (!prtcls.ldef(int(j) + 1)) continue;
            peak = std::max({peak, std::fabs(ref.along[j]), std::fabs(ref.left[j])});
            worst = std::max({worst, std::fabs(a.along[j] - ref.along[j]), std::fabs(a.left[j] - ref.left[j])});
        }
        return worst / peak;
    }
    static bool said(const std::vector<std::string>& out, const std::string& text) {
        return std::find(out.begin(), out.end(), text) != out.end();
    }
    bool bend_ = false;
    double r_ = R, p0_ = p0;  // radius of the bend [m], momentum [m*c]
};

// Boxes so small that none forms: every particle is an observer and the
// field of every source is that of the particle-to-particle model, also
// for particles moving in other directions than particle 1 (along the arc).
TEST_F(Force3, WithoutBoxesTheObserverFieldsAreThoseOfEveryParticle) {
    setup(true, 1e-6, 2e-4);
    std::mt19937 gen(5);
    std::normal_distribution<double> g(0.0, 1e-3);
    particle(1, 3.5, 0.0, 0.0);
    for (int i = 2; i <= 40; ++i) particle(i, 3.5 + g(gen), 0.0, 2e-4 * (i % 5 - 2));
    finish(40);
    std::vector<std::string> out;
    const Forces2 m = evaluate(ForceType::csr_p_to_m, &out);
    EXPECT_TRUE(said(out, "  boxes = 0  e_points= 0  p_points= 40"));
    EXPECT_LT(error(m, evaluate(ForceType::csr_p_to_p)), 1e-12);
}

// Bilinear interpolation from the box corners: a few percent of the peak at
// most, and about four times less when the boxes are halved.
TEST_F(Force3, BoxInterpolationErrorIsSmallAndOfSecondOrder) {
    const double sigr = 2e-4;
    double err[2];
    for (int k = 0; k < 2; ++k) {
        setup(true, k == 0 ? 0.5 : 0.25, sigr);
        // particle 1 on the orbit and a regular grid of 20 x 20 over +-sig by
        // +-sigr: every box of either size holds at least 4
        particle(1, 3.5, 0.0, 0.0);
        for (int a = 0; a < 20; ++a)
            for (int b = 0; b < 20; ++b) particle(2 + 20 * a + b, 3.5, -sig + a * 2 * sig / 19, -sigr + b * 2 * sigr / 19);
        finish(401);
        const Forces2 m = evaluate(ForceType::csr_p_to_m);
        EXPECT_GT(testsupport::model_work().mesh.mesh.nbox, 0);
        // the reference at every 7th particle (the force on a particle does
        // not depend on which others receive forces)
        for (int j = 1; j <= prtcls.npart; ++j) prtcls.ldef(j) = j % 7 == 1;
        err[k] = error(m, evaluate(ForceType::csr_p_to_p));
        testsupport::reset_records();
    }
    EXPECT_LT(err[0], 0.05);
    EXPECT_GT(err[0] / err[1], 3.0);
    EXPECT_LT(err[0] / err[1], 5.5);
}

// Congruent histories: every particle's design path is the centroid's
// shifted (a mono-energetic bunch on a drift) or turned and shifted (a line
// bunch along the arc, deep in the bend), so the Green's function of the
// centroid is every source's field.
TEST_F(Force3, GreensFunctionOnCongruentHistories) {
    for (const bool bend : {false, true}) {
        SCOPED_TRACE(bend ? "deep in the bend" : "drift");
        testsupport::reset_records();
        setup(bend, 0.5);
        bunch(80, bend ? 4.0 : 10.0, 1e-3, bend ? 0.0 : 2e-4);
        EXPECT_LT(error(evaluate(ForceType::csr_g_to_p), evaluate(ForceType::csr_p_to_p)), 0.01);
    }
}

// A second Green's evaluation at the same c*t reuses the stored function
// (csr_g_to_m's loose particles get exactly csr_g_to_p's forces) when the
// time, shape, plates, rintmi and model switch match; other sizes reuse it
// with the sizes it was made with.
TEST_F(Force3, StoredGreensFunctionIsReusedUnderTheSameModel) {
    setup(false, 0.5, 2e-4);
    bunch(150, 10.0, 1e-3, 2e-4);
    const Forces2 gp = evaluate(ForceType::csr_g_to_p);
    std::vector<std::string> out;
    const Forces2 gm = evaluate(ForceType::csr_g_to_m, &out);
    EXPECT_TRUE(said(out, reused));
    int loose = 0;
    for (std::size_t j = 0; j < gp.along.size(); ++j) {
        if (testsupport::model_work().mesh.mesh.linbox(int(j) + 1)) continue;
        ++loose;
        EXPECT_TRUE(gm.along[j] == gp.along[j] && gm.left[j] == gp.left[j]) << j;
    }
    EXPECT_TRUE(loose > 0 && testsupport::model_work().mesh.mesh.nbox > 0);

    const struct {
        const char* name;
        void (*apply)();
        bool reused;
    } changes[] = {
        {"nothing", [] {}, true},
        {"sigma_long", [] { force_settings.sigma_long *= 1.01; }, true},
        {"transverse sizes", [] { force_settings.sigma_rad *= 1.01, force_settings.sigma_vert *= 0.99; }, true},
        {"shape", [] { force_settings.ishape = 2, force_settings.sigma_rad = force_settings.sigma_vert = sig; }, false},
        {"shield", [] { force_settings.shield = 0.02; }, false},
        {"rintmi", [] { force_settings.rintmi = 2e-9; }, false},
        {"use_old_mesh = no", [] { force_settings.loldms = false; }, false},
        {"another time", [] { testsupport::model_work().mesh.mesh.ctgreen = 1e-9; }, false},
        {"gmeshi", [] { forces::gmeshi(testsupport::model_work()); }, false},
    };
    Forces2 same;
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        settings(0.5, 2e-4);
        bunch(150, 10.0, 1e-3, 2e-4);
        evaluate(ForceType::csr_g_to_p);  // stored with the settings
        for (int i = 2; i <= 150; i += 2) prtcls.xptcl(1, i) += 0.7 * sig;  // pairs needing new samples
        c.apply();
        const Forces2 f = evaluate(ForceType::csr_g_to_p, &out);
        EXPECT_EQ(said(out, reused), c.reused);
        if (!c.reused) continue;
        if (same.along.empty()) same = f;
        EXPECT_TRUE(f.along == same.along && f.left == same.left);
    }
}

// The set-up check of a tracking run lays its Green's function out in the
// models' work that the run evaluates with (its own was another bunch's),
// and leaves nothing there for the first evaluation: the same forces and
// the same lines as an evaluation without the check, a function of its own
// made anew.
TEST_F(Force3, SetUpCheckLeavesNothingForTheEvaluation) {
    setup(true, 0.5, 2e-4);
    force_settings.itype = bunch::code(ForceType::csr_g_to_p);
    auto& work = testsupport::model_work();
    std::vector<std::string> alone_out, after_out;
    bunch(150, 4.0, 1e-3, 2e-4);
    const Forces2 alone = evaluate(ForceType::csr_g_to_p, &alone_out);
    const auto samples = work.mesh.green.greenm.ngreen;
    // another function in the work (of a longer sub-bunch, another bunch),
    // then the check of this bunch's
    forces::gmeshi(work);
    force_settings.sigma_long = 2.0 * sig;
    bunch(60, 4.3, 2e-3, 1e-4);
    evaluate(ForceType::csr_g_to_p);
    ASSERT_NE(work.mesh.green.greenm.ngreen, samples);
    forces::gmeshi(work);
    force_settings.sigma_long = sig;
    bunch(150, 4.0, 1e-3, 2e-4);
    bunch::set_force_entry(&forces::force_entry, &work);
    std::int32_t ierr = 1;
    testsupport::start_capture();
    forces::green_check(work, ierr);
    (void)testsupport::end_capture();
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(work.mesh.green.greenm.ngreen, samples);  // the check's layout
    const Forces2 after = evaluate(ForceType::csr_g_to_p, &after_out);
    EXPECT_EQ(after_out, alone_out);
    EXPECT_FALSE(said(after_out, reused));
    EXPECT_TRUE(after.along == alone.along && after.left == alone.left);
}

// A reused Green's function gives the same forces whatever was evaluated
// in between: a sample evaluated lazily in an earlier reuse, while the test
// particle (particle 1) moved at another speed, holds the value of the
// computing pass, as when several processes evaluate every sample at once.
TEST_F(Force3, ReusedGreensFunctionDoesNotDependOnTheEvaluationsBetween) {
    setup(false, 0.5, 2e-4);
    auto last = [this](bool between) {
        forces::gmeshi(testsupport::model_work());
        bunch(150, 10.0, 1e-3, 2e-4);
        evaluate(ForceType::csr_g_to_p);
        for (int i = 2; i <= 150; i += 2) prtcls.xptcl(1, i) += 0.7 * sig;  // pairs needing new samples
        prtcls.xptcl(4, 1) = 0.5 * p0;
        if (between) evaluate(ForceType::csr_g_to_p);
        prtcls.xptcl(4, 1) = 2.0 * p0;
        std::vector<std::string> out;
        const Forces2 f = evaluate(ForceType::csr_g_to_p, &out);
        EXPECT_TRUE(said(out, reused));
        return f;
    };
    const Forces2 a = last(true), b = last(false);
    EXPECT_TRUE(a.along == b.along && a.left == b.left);
}

// The self term of each source does not depend on the rounding of the
// column layout: a pair deep in a bend at a sigma_long where the count of
// columns within +-5 sigma_long used to flip, and one part in 1e9 either
// side: the same forces within 1e-4, those of csr_p_to_p within 0.2%.
TEST_F(Force3, SelfTermDoesNotDependOnRoundingOfTheColumns) {
    r_ = 10.0;
    p0_ = 1e9 / 510998.95;  // m*c
    setup(true, 0.5);
    const double base = 5.999999999999999e-06;  // m
    Forces2 g[3];
    for (int k = 0; k < 3; ++k) {
        force_settings.sigma_long = base * (k == 0 ? 1.0 : k == 1 ? 1.0 - 1e-9 : 1.0 + 1e-9);
        forces::gmeshi(testsupport::model_work());
        particle(1, 3.5, 0.0, 0.0);
        particle(2, 3.5 - 3e-4, 0.0, 0.0);
        finish(2);
        g[k] = evaluate(ForceType::csr_g_to_p);
    }
    force_settings.sigma_long = base;
    const Forces2 ref = evaluate(ForceType::csr_p_to_p);
    for (int k = 0; k < 3; ++k) {
        EXPECT_LT(error(g[k], g[0]), 1e-4) << k;
        EXPECT_LT(error(g[k], ref), 2e-3) << k;
    }
}

// The centroid: position and momentum weighted by |q|, direction the mean
// of the unit directions (charges 1 and 3 at 0 and 90 degrees: 45).
// Charges of both signs that nearly cancel, 0.1 m into the bend: the
// centroid stays among the particles (weighted by q it lies 9 cm away,
// before the bend, and the forces are 90% of the peak off), and csr_g_to_p
// gives the forces of csr_p_to_p within 3% of the peak.
TEST_F(Force3, Centroid) {
    setup(false, 0.5);
    particle(1, 5.0, 0.0, 0.0, 1e-12);
    particle(2, 5.0, 0.0, 2e-3, 3e-12);
    prtcls.xptcl(5, 2) = foundation::pi / 2.0;
    prtcls.xptcl(4, 2) = 2.0 * p0;
    finish(2);
    evaluate(ForceType::csr_g_to_p);
    const auto& g = testsupport::model_work().mesh.green.greenc.xggre;
    EXPECT_NEAR(g(5), foundation::pi / 4.0, 1e-15);
    EXPECT_DOUBLE_EQ(g(1), 5.0);
    EXPECT_DOUBLE_EQ(g(2), 1.5e-3);
    EXPECT_DOUBLE_EQ(g(4), 1.75 * p0);
    EXPECT_EQ(g(7), 1.0);  // a unit charge: the sources' charges weight its field

    testsupport::reset_records();
    setup(true, 0.5);
    const double s[3] = {1.1, 1.1 - 1e-3, 1.1 + 5e-4}, q[3] = {-1e-10, 0.999e-10, -1e-12};
    for (int i = 1; i <= 3; ++i) particle(i, s[i - 1], 0.0, 0.0, q[i - 1]);
    finish(3);
    const Forces2 f = evaluate(ForceType::csr_g_to_p);
    EXPECT_LT(std::hypot(g(1) - prtcls.xptcl(1, 1), g(2) - prtcls.xptcl(2, 1)), 2e-3);
    EXPECT_LT(error(f, evaluate(ForceType::csr_p_to_p)), 0.03);
}

// No receiving particle: zero forces, no output. No source: zero forces,
// the observers (and their line for the box models) still built.
TEST_F(Force3, NoReceiverOrNoSourceGivesZeroForces) {
    setup(false, 0.5, 2e-4);
    for (const bool receivers : {false, true}) {
        for (const ForceType t : {ForceType::csr_p_to_m, ForceType::csr_g_to_p, ForceType::csr_g_to_m}) {
            bunch(20, 10.0, 1e-3, 2e-4);
            for (int j = 1; j <= 20; ++j)
                (receivers ? prtcls.lact(j) : prtcls.ldef(j)) = false, F(1, j) = F(2, j) = F(3, j) = 7.0;
            std::vector<std::string> out;
            const Forces2 f = evaluate(t, &out);
            EXPECT_EQ(out.size(), receivers && t != ForceType::csr_g_to_p ? 1u : 0u) << receivers;
            for (const auto& line : out) EXPECT_EQ(line.rfind("  boxes =", 0), 0u) << line;
            EXPECT_EQ(std::count(f.along.begin(), f.along.end(), 0.0) + std::count(f.left.begin(), f.left.end(), 0.0), 40);
        }
    }
}

}  // namespace
