// The field library's base: settings and their check, the line-charge
// profile, the nearest path point, the retarded-window estimate, and the
// guards of the source points and plate images; the keyed quicksort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "fieldlib/fldint.hpp"
#include "foundation/keyed_sort.hpp"
#include "paths.hpp"

namespace {

using namespace fltest;
fieldlib::Context& cx = test_context();
// A setting of the tests' field library.
void finit(std::string_view name, double value) { fieldlib::finit(cx, name, value); }
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double ex[3] = {1.0, 0.0, 0.0};

// ---- settings ---------------------------------------------------------------

// A real given for a method or a logical setting counts by its nearest
// integer; a NaN has none and is neither. Names match without their
// trailing blanks.
TEST(FieldSettings, NaNIsNoMethodAndNoLogical) {
    const auto own = std::make_unique<fieldlib::Context>();
    fieldlib::finit(*own, "method   ", 2.0);
    fieldlib::finit(*own, "zsymmetry", 1.4);
    EXPECT_EQ(own->fcdata.method, 2);
    EXPECT_TRUE(own->setup.zsymmetry);
    fieldlib::finit(*own, "method", NaN);
    fieldlib::finit(*own, "zsymmetry", NaN);
    EXPECT_EQ(own->fcdata.method, 2);
    EXPECT_FALSE(own->setup.zsymmetry);
}

// The settings walked case by case, each step on what the steps before left:
// a method counts by its nearest integer, a value that is no method leaves
// it; a size of zero or less is the thin line, sigmaz under the thin line
// the ribbon; method 1 and the ribbon point along (0, 0, 1) (a direction set
// by hand before each step shows which steps set it); method 3's smaller
// size and difference, with either size the larger.
TEST(FieldSettings, WalkedCaseByCase) {
    const auto own = std::make_unique<fieldlib::Context>();
    auto& F = own->fcdata;
    struct Step { const char* name; double value; int method; double sigmaz; bool vertical; };
    const Step steps[] = {
        {"method", 3.4, 3, 0.0, false},     {"method", 3.6, 3, 0.0, false},    {"method", -0.2, 3, 0.0, false},
        {"method", NaN, 3, 0.0, false},     {"method", 2.0, 2, 0.0, false},    {"sigmaz", 0.001, 2, 0.001, false},
        {"sigmaz", 0.0, 0, 0.001, false},   {"sigmaz", 0.002, 1, 0.002, true}, {"sigmar", 0.0, 0, 0.002, false},
        {"method   ", 1.0, 1, 0.002, true}, {"xnsigz", 7.0, 1, 0.002, false},  {"sigmar", -1.0, 0, 0.002, false},
        {"method", 0.6, 1, 0.002, true},    {"sigmaz", -3e-3, 0, 0.002, false}, {"sigmar", 0.003, 3, 0.002, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << s.name << " " << s.value);
        fieldlib::fcoini(F, "ex", 1.0), fieldlib::fcoini(F, "ey", 0.0), fieldlib::fcoini(F, "ez", 0.0);
        fieldlib::finit(*own, s.name, s.value);
        EXPECT_EQ(F.method, s.method);
        EXPECT_EQ(F.sigmaz, s.sigmaz);
        EXPECT_EQ(F.ex == 0.0 && F.ey == 0.0 && F.ez == 1.0, s.vertical);
    }
    EXPECT_TRUE(F.sigmar == 0.003 && F.smin == 0.002 && !F.lzgtr);
    EXPECT_DOUBLE_EQ(F.sdiff, std::sqrt(5e-6));
    fieldlib::finit(*own, "sigmaz", 0.004);
    EXPECT_TRUE(F.method == 3 && F.smin == 0.003 && F.lzgtr);
    EXPECT_DOUBLE_EQ(F.sdiff, std::sqrt(7e-6));
    for (const auto& [v, on] : {std::pair{0.5, true}, {1.4, true}, {1.5, false}, {1.6, false}, {2.0, false},
                                {0.4, false}, {NaN, false}}) {
        fieldlib::finit(*own, "zsymmetry", v);
        EXPECT_EQ(bool(own->setup.zsymmetry), on) << v;
    }
    fieldlib::finit(*own, "hc  ", 0.25);
    EXPECT_EQ(own->setup.hc, 0.25);
}

// All required settings valid, no transverse size given.
void valid_settings() {
    fieldlib::fcoini(cx.fcdata, "sigmaz", 0.0), fieldlib::fcoini(cx.fcdata, "sigmar", 0.0);
    apply({.xnsigt = 0.0, .hc = 0.0});
    for (const auto& [name, v] : {std::pair{"Slow", -1.0}, {"Shigh", 1.0}, {"Rintma", 1.0}, {"sstpma", 1.0}}) finit(name, v);
}

void run_check(const char* name, double value) {
    stdout_to_stderr();
    valid_settings();
    finit(name, value);
    finit("check", 0.0);
    std::exit(0);
}

void first_call_hmax() {
    finit("hmax", 0.2);
    std::exit(cx.xxtmp.hmax == 0.2 ? 0 : 1);
}

TEST(FieldSettingsDeathTest, CheckAndUnknownNames) {
    // hc = 0 and xnsigt = 0 are valid
    EXPECT_EXIT(run_check("hc", 0.0), testing::ExitedWithCode(0), "");
    // the defaults come before the first call's own value
    EXPECT_EXIT(first_call_hmax(), testing::ExitedWithCode(0), "");
    struct Case { const char* name; double value; const char* lines; };
    // valid_settings sets Rintma = 1 and Shigh = 1
    const Case cases[] = {
        {"Rintmi", 1.0,
         "rintmi = 1 m is not below Rintma = 1 m, half the design path's range: give rintmi well below it\n"
         " error in finit: undefined setings\n undefined Rintmi= 1\\.0+E\\+00\n undefined Rintma= 1\\.0+E\\+00\n$"},
        // a particle too slow for the sub-bunch model (a negative duration)
        {"sigmat", -2.39e-11,
         "sigmat = sigma_long/\\(beta c\\) = -2\\.39e-11 s is not > 0: particle 1 is too slow or moving backward "
         "for the sub-bunch model\n error in finit: undefined setings\n undefined sigmat= -2\\.39"},
        {"Slow", 1.0, "\n undefined Slow  = 1\\.0+E\\+00\n undefined Shigh = 1\\.0+E\\+00\n$"},
        {"q0", NaN, "\n undefined q0    = NaN\n$"},
        {"relacc", -1.0, "\n undefined relacc= -1\\.0+E\\+00\n$"},
        {"sigmar", 0.001, "\n undefined sigmaz= 0\\.0+E\\+00\n$"},  // model 3 without sigmaz
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(run_check(c.name, c.value), testing::ExitedWithCode(1), c.lines);
    }
    EXPECT_EXIT(run_check("HC", 0.0), testing::ExitedWithCode(1), "error in fld_cont/finit: unknown action\n HC\n");
}

// The ribbon and the round bunch with no size given are the thin line (the
// check lets them pass; the ellipse without its sizes still stops, above).
TEST(FieldSettings, RibbonAndRoundBunchWithoutSizeAreTheThinLine) {
    build_path({{200.0, 0.0}}, 100.0, 10.0);
    apply({});
    const Field thin = field_at(0.0, 0.0, 1e-3, 5e-4, 1.0, ex);
    double peak = 0.0;
    for (int k = 1; k <= 6; ++k) peak = std::max(peak, std::fabs(thin.word(k)));
    for (int m : {1, 2}) {
        fieldlib::fcoini(cx.fcdata, "sigmaz", 0.0);
        finit("method", m);
        const Field f = field_at(0.0, 0.0, 1e-3, 5e-4, 1.0, ex);
        for (int k = 1; k <= 6; ++k) EXPECT_NEAR(f.word(k), thin.word(k), 1e-4 * peak) << "method " << m << " E/cB " << k;
    }
}

// ---- line-charge profile ------------------------------------------------------

TEST(LineProfile, NormalisationCutAndDerivatives) {
    const double beta = 10.0 / std::sqrt(101.0);
    build_path({{20.0, 0.0}}, 10.0, 10.0);
    const double q0 = 2e-9, sig = 1e-11;
    const auto& F = cx.fbdata;
    for (double n : {0.0, 5.0, 3.0}) {
        SCOPED_TRACE(n);
        fieldlib::lamini(cx, q0, sig, n);
        if (n == 0.0) {
            EXPECT_TRUE(F.B == 0.0 && F.C == 0.0);  // the uncut profile: the Gaussian alone
        }
        // the integral over time by Simpson's rule, 20000 intervals
        const int m = 20000;
        const double lim = (n > 0.0 ? n : 12.0) * sig, h = 2.0 * lim / m;
        double sum = 0.0;
        for (int i = 0; i <= m; ++i) {
            const double dt = -lim + i * h, x = dt / sig;
            const double f = F.A * std::exp(-x * x / 2.0) - F.B + F.C * dt * dt;
            sum += f * (i == 0 || i == m ? 1.0 : (i % 2 ? 4.0 : 2.0));
        }
        EXPECT_NEAR(sum * h / 3.0, q0 / clight, (n > 0.0 ? 3e-7 : 1e-13) * q0 / clight);
        if (n > 0.0) {
            // f and f' vanish at the cut, lambda is 0 there and beyond
            const double E = std::exp(-n * n / 2.0);
            EXPECT_NEAR(F.A * E - F.B + F.C * n * n * sig * sig, 0.0, 1e-6 * F.A);
            EXPECT_NEAR(-F.A * n * E / sig + 2.0 * F.C * n * sig, 0.0, 1e-6 * F.A / sig);
            double lam, dlam;
            for (double x : {n, -n, n + 0.1}) {
                fieldlib::lambda(cx, 0.0, x * sig, lam, dlam);
                EXPECT_TRUE(lam == 0.0 && dlam == 0.0) << x;
            }
        }
        // lambd2's derivatives against central differences in t and in s
        const double s = 1e-3, t = 0.7 * sig, ht = 1e-4 * sig, hs = ht * clight * beta;
        double l[7], lp[7], lm[7], sp[7], sm[7];
        auto L2 = [](double s_, double t_, double* o) {
            fieldlib::lambd2(cx, s_, t_, o[0], o[1], o[2], o[3], o[4], o[5], o[6]);
        };
        L2(s, t, l), L2(s, t + ht, lp), L2(s, t - ht, lm), L2(s + hs, t, sp), L2(s - hs, t, sm);
        double lam, dlam;
        fieldlib::lambda(cx, s, t, lam, dlam);
        EXPECT_EQ(lam, l[0]);
        EXPECT_EQ(dlam, l[1]);
        for (int k = 0; k < 3; ++k) {
            const double scale = std::fabs(l[k + 1]) + std::fabs(l[k]) / sig;
            EXPECT_NEAR(l[k + 1], (lp[k] - lm[k]) / (2.0 * ht), 1e-6 * scale) << "d/dt of l" << k;
            EXPECT_NEAR(l[k + 4], (sp[k] - sm[k]) / (2.0 * hs), 1e-6 * scale / (clight * beta)) << "d/ds of l" << k;
        }
    }
    // the single-precision error function
    EXPECT_EQ(fieldlib::erfxxx(0.0f), 0.0f);
    for (float x : {0.3f, 1.0f, 2.5f, 4.0f}) {
        EXPECT_EQ(fieldlib::erfxxx(-x), -fieldlib::erfxxx(x));
        EXPECT_NEAR(fieldlib::erfxxx(x), std::erf(double(x)), 3e-7);
    }
}

// ---- path access and the nearest point ------------------------------------

TEST(PathAccess, NearestPathPoint) {
    // R [m], 0: a straight line; the observer (x, y) in the path frame; the warm start
    struct Case { const char* name; double R, x, y, warm; };
    const Case cases[] = {
        {"straight, beside", 0.0, 0.3, 0.02, 0.0},
        {"straight, cold start", 0.0, -0.7, -0.5, 1e9},
        {"straight, on the path", 0.0, 0.4, 0.0, 0.0},
        {"arc, inside", 2.0, 0.0, 0.3, 0.0},
        {"arc, outside", 2.0, 0.5, -0.4, 0.9},
        {"arc, outside, cold start", 2.0, -0.8, -0.1, -1e9},
        // halfway to the centre the Newton-type step divides by zero: the
        // minimiser's point stays
        {"arc, half the radius inside", 2.0, 0.0, 1.0, 0.0},
        // a third and two thirds of the radius inside: the step is taken
        {"arc, a third inside", 2.0, 0.37, 0.69, 0.0},
        {"arc, two thirds inside", 2.0, -0.41, 1.33, 0.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        build_path({{4.0, c.R == 0.0 ? 0.0 : 1.0 / c.R}}, 2.0, 10.0);
        const fieldlib::V3 r{{c.x, c.y, 0.0}};
        const auto& A = cx.acclim;
        fieldlib::fsmini(cx, r, A.Slow, A.Shigh, 1e-16, c.warm);
        // on an arc: the radial projection onto the circle of centre (0, R)
        const double dy = c.y - c.R, s_want = c.R == 0.0 ? c.x : c.R * std::atan2(c.x, -dy),
                     d_want = c.R == 0.0 ? std::fabs(c.y) : std::fabs(c.R - std::hypot(c.x, dy));
        const auto& F = cx.fsdata;
        EXPECT_NEAR(F.s, s_want, 1e-10 * std::fmax(1.0, std::fabs(s_want)));
        EXPECT_NEAR(F.d, d_want, 1e-10 * std::fmax(1e-3, d_want));
    }
}

// ---- the retarded window -----------------------------------------------------

// The tangent-line estimate at a double root: an observer on the line
// whose arrival time makes the discriminant vanish, where rounding can leave
// a negative residue.
TEST(RetardedWindow, StraightLineEstimateAtADoubleRoot) {
    const double p = 3.0, beta = p / std::sqrt(p * p + 1.0);
    build_path({{40.0, 0.0}}, 20.0, p);
    auto& F = cx.f12dat;
    F.margin = 1e-12;
    F.offset = 0.0;
    for (double slo : {-5.0, -1.3, -0.7}) {
        for (int i = 1; i <= 200; ++i) {
            const double a = slo + 0.0137 * i;
            F.r(1) = a, F.r(2) = F.r(3) = 0.0;
            F.t = slo / (clight * beta) + F.margin + (a - slo) / (clight * beta);
            const double est = fieldlib::f12est(cx, slo, -1.0);
            ASSERT_TRUE(std::isfinite(est)) << a;
            EXPECT_NEAR(est, a, 1e-6 * std::fmax(1.0, std::fabs(a)));
        }
    }
}

// ---- guards ---------------------------------------------------------------------

// A window far longer than the profile needs: more source points than the
// list holds, refused before the first one past it is written.
void overlong_window() {
    stdout_to_stderr();
    build_path({{200.0, 0.0}}, 100.0, 10.0);
    const Settings S = apply({});
    const fieldlib::V3 r{{0.0, 1e-3, 0.0}};
    fieldlib::pthini(cx);
    fieldlib::lamini(cx, S.q0, S.sigmat, S.xnsigt);
    fieldlib::fsmini(cx, r, cx.acclim.Slow, cx.acclim.Shigh, 1e-16, r(1));
    fieldlib::f12ini(cx, 0.0, r, -1e4, 100.0, 2e4 * S.sigmat, 0.0, 1e-6);
    fieldlib::ziinit(cx, 0.0, r, std::sqrt(101.0), fieldlib::V3{{1.0, 0.0, 0.0}}, S.sigmat, S.relacc);
    fieldlib::wint0(cx, 0.0, r);
}

// Settings of one field call on a straight path, then the call.
void field_with(Settings S, double y, double z) {
    stdout_to_stderr();
    build_path({{200.0, 0.0}}, 100.0, 10.0);
    apply(S);
    (void)field_at(0.0, 0.0, y, z, 1.0, ex);
    std::exit(0);
}

TEST(FieldGuardsDeathTest, CapacitiesAndSingularities) {
    // each after a line on the sub-bunch's length, its window and what would work
    EXPECT_EXIT(overlong_window(), testing::ExitedWithCode(1),
                " the field integration needs more than 10000 source points: give a longer sigma_long "
                "\\(c\\*sigmat = sigma_long/beta = [0-9.e-]+ m over a source window of 4019\\.95 m of path\\)\n"
                " ipnt.gt.maxpnt\n"
                " ipnt,maxpnt= +10001 +10000");
    // 12000 sigma of profile: more points than the list holds
    EXPECT_EXIT(field_with({.xnsigt = 6000.0}, 1e-3, 0.0), testing::ExitedWithCode(1),
                "needs 120[0-9][0-9] source points, at most 10000: give a longer sigma_long \\(c\\*sigmat = "
                "sigma_long/beta = [0-9.e-]+ m over a source window of [0-9.e-]+ m of path\\)\n"
                " ipp.ge.maxpnt\n ipp,maxpnt= +120[0-9][0-9] +10000");
    EXPECT_EXIT(field_with({.hc = 1e-9, .hmax = 0.3}, 1e-3, 0.0), testing::ExitedWithCode(1),
                "more than +1000 +plate images");
    // a thin line has no finite field on its own path
    EXPECT_EXIT(field_with({}, 0.0, 0.0), testing::ExitedWithCode(1), "observer on the path of a thin line");
    EXPECT_EXIT((stdout_to_stderr(), fieldlib::lamini(cx, 1e-9, 0.0, 5.0)), testing::ExitedWithCode(1),
                "error in fld_bunch/lamini: sigmat.eq.0");
}

// The smallest length scale stands in for the near-zone radius of the point
// budget only where that radius is 0 (an observer on the path): 1 mm beside
// the path the source points do not depend on it.
TEST(SourcePoints, BudgetBesideThePathIndependentOfRintmi) {
    build_path({{200.0, 0.0}}, 100.0, 10.0);
    apply({});
    const fieldlib::V3 r{{0.0, 1e-3, 0.0}};
    (void)field_at(0.0, r(1), r(2), r(3), 1.0, ex);  // the window and the near zone
    finit("sstpma", 2e-5);  // the budget's largest step, 1e-4, binds
    std::vector<double> X[2];
    for (int k = 0; k < 2; ++k) {
        finit("rintmi", k == 0 ? 1e-9 : 0.5);
        fieldlib::wint0(cx, 0.0, r);
        const auto& S = cx.fsidat;
        X[k].assign(&S.X(1), &S.X(1) + S.n);
    }
    EXPECT_GT(X[0].size(), 9000u);
    EXPECT_EQ(X[0], X[1]);
}

// Distant images summed along the straight start for an observer outside
// the plates, exactly at the height of an image line: the step shrinks
// towards the singular point but stays positive, so the walk ends.
TEST(PlateImages, ObserverOnAnImageLineEnds) {
    build_path({{200.0, 0.0}}, 100.0, 10.0);
    const Settings S = apply({.hc = 0.02});
    fieldlib::lamini(cx, S.q0, S.sigmat, S.xnsigt);
    fieldlib::pthini(cx);
    const fieldlib::V3 r{{0.0, 0.0, 3 * S.hc}}, e0{{1.0, 0.0, 0.0}};  // on the image k = 3
    fieldlib::W15 W;
    fieldlib::mirmlt(cx, 0.0, r, e0, W, 0.0, 3, 10, S.hc, 0.5);
    EXPECT_FALSE(std::isnan(W(7)));
}

// ---- the keyed quicksort ------------------------------------------------------

// Ascending keys, the carried array following its key, for sizes below, at
// and above the insertion limit and for long ordered, reversed and
// repetitive inputs.
TEST(KeyedSort, KeysAscendAndTheCarriedArrayFollows) {
    for (int n : {0, 1, 2, 7, 8, 9, 100, 10000}) {
        std::mt19937 gen(12345u + unsigned(n));
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::vector<double> random, few, sorted;
        for (int i = 0; i < n; ++i) random.push_back(u(gen)), few.push_back(double(gen() % 3u)), sorted.push_back(i);
        const std::vector<double> reversed(sorted.rbegin(), sorted.rend());
        for (const auto& orig : {random, sorted, reversed, few}) {
            std::vector<double> key = orig, carry(orig.size());
            std::iota(carry.begin(), carry.end(), 0.0);  // the original position of each key
            foundation::sort2(key, carry);
            ASSERT_TRUE(std::is_sorted(key.begin(), key.end())) << "n=" << n;
            std::vector<double> seen(carry);
            std::sort(seen.begin(), seen.end());
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(seen[std::size_t(i)], double(i)) << "carry is not a permutation, n=" << n;
                ASSERT_EQ(key[std::size_t(i)], orig[std::size_t(carry[std::size_t(i)])]) << "n=" << n;
            }
        }
    }
    // integer keys with an integer carry
    std::vector<std::int32_t> key = {5, 3, 9, 3, 1, 8, 2, 7, 6, 4, 0, 3}, carry(key.size());
    std::iota(carry.begin(), carry.end(), 100);
    const std::vector<std::int32_t> orig = key;
    foundation::keyed_sort(std::span<std::int32_t>(key), std::span<std::int32_t>(carry));
    EXPECT_TRUE(std::is_sorted(key.begin(), key.end()));
    for (std::size_t i = 0; i < key.size(); ++i) EXPECT_EQ(key[i], orig[std::size_t(carry[i] - 100)]);
}

}  // namespace
