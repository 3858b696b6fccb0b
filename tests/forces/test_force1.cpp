// The projected model in a long arc: the self-wake of a particle, plate
// images of a source ahead, the grid limit, the wake_file resampling, the
// deposits, the noise filter, the reference point, a diagnostic file that
// cannot be written and every failure giving zero forces. (The steady
// state, the "test" output, a wake_file alone and fc1.dat blocked: the
// decks projected_* and diagnostic_blocked_projected.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "forces/csr1d.hpp"
#include "forces/force.hpp"
#include "forces/force1.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "lattice/latcom.hpp"
#include "support/support.hpp"

namespace {

using bunch::force_settings;
using foundation::force_scale;
using testsupport::end_capture;
using testsupport::start_capture;

constexpr double R = 10.0;                          // arc radius [m]
constexpr double p0 = 1e9 * 1.957047868709806e-06;  // 1 GeV/c [m*c]
constexpr double Q = 1e-9;                          // bunch charge [C]

// Design line at path length s: 1 m straight, 10 m arc of R, 5 m straight.
struct LinePoint {
    double x, y, phi;
    int next;
};
LinePoint on_line(double s) {
    if (s < 1.0) return {s, 0.0, 0.0, 1};
    if (s < 11.0) return {1.0 + R * std::sin((s - 1.0) / R), -R + R * std::cos((s - 1.0) / R), -(s - 1.0) / R, 2};
    const double a = s - 11.0;
    return {1.0 + R * std::sin(1.0) + a * std::cos(1.0), -R + R * std::cos(1.0) - a * std::sin(1.0), -1.0, 3};
}

class Projected : public testsupport::Folder {
protected:
    void SetUp() override {
        Folder::SetUp();
        setup();
    }
    void setup() {
        testsupport::reset_records();
        testsupport::new_lattice();
        testsupport::add_section(0.0, 1.0);
        testsupport::add_section(R, 10.0);
        testsupport::add_section(0.0, 5.0);
        auto& L = lattice::latcom;  // the curvature table of this lattice
        L.nfbchg = 2;
        L.sr_s(1) = 1.0, L.sr_r(1) = R, L.sr_s(2) = 11.0, L.sr_r(2) = 0.0;
        auto& f = force_settings;  // the settings the model reads
        f.sigma_long = 1e-3, f.shield = 0.0, f.shield_max = 0.3;
        f.par1 = f.par2 = f.par4 = f.par5 = 0.0;
        f.lwake = f.ltest = false;
    }
    // particles at path offsets z (ahead > 0) from s_ref with charges q
    void bunch_at(double s_ref, const std::vector<double>& z, const std::vector<double>& q) {
        auto& B = bunch::prtcls;
        B.npart = int(z.size());
        B.p0 = p0;
        for (int j = 1; j <= B.npart; ++j) {
            const LinePoint P = on_line(s_ref + z[std::size_t(j - 1)]);
            const double rec[7] = {P.x, P.y, 0.0, p0, P.phi, 0.0, q[std::size_t(j - 1)]};
            for (int k = 1; k <= 7; ++k) B.xptcl(k, j) = rec[k - 1];
            B.iptcl(1, j) = P.next;
            B.lact(j) = B.ldef(j) = true;
        }
    }
    // a bunch of rms 1 mm: 2001 particles 6 sigma either side, Gaussian charges
    void gaussian_bunch(double s_ref) {
        std::vector<double> z(2001), q(2001);
        double sum = 0.0;
        for (std::size_t j = 0; j < 2001; ++j) {
            z[j] = (double(j) - 1000) * 6e-6;
            sum += q[j] = std::exp(-0.5 * z[j] * z[j] / 1e-6);
        }
        for (double& v : q) v *= Q / sum;
        bunch_at(s_ref, z, q);
    }
    // the models' work of the tests
    static forces::ModelWork& work() { return testsupport::model_work(); }
    // one evaluation
    std::int32_t run(std::vector<double>& F) {
        const int n = bunch::prtcls.npart;
        F.assign(std::size_t(3 * n), 5.0);
        return forces::force1(forces::input_of(foundation::particles(bunch::prtcls.xptcl, n),
                                               foundation::indices(bunch::prtcls.iptcl, n)),
                              foundation::ForceView(F.data(), n), work());
    }
    std::vector<double> F;
};

TEST_F(Projected, SelfWakeAndNoFilterForUnequalCharges) {
    // the wake of a particle's own Gaussian of rms 1 mm at its centre
    bunch_at(6.0, {0.0}, {Q});
    ASSERT_EQ(run(F), 0);
    EXPECT_NEAR(F[0], -0.021082, 0.005 * 0.021082);
    EXPECT_TRUE(F[1] == 0.0 && F[2] == 0.0);
    // unequal charges: the noise filter does nothing
    gaussian_bunch(7.0);
    ASSERT_EQ(run(F), 0);
    const std::vector<double> plain = F;
    force_settings.par1 = 1.0, force_settings.par2 = 10.0;
    ASSERT_EQ(run(F), 0);
    EXPECT_EQ(F, plain);
}

// Between plates the images of a source ahead reach a particle behind it:
// a charge d ahead of an uncharged particle gives it the one-dimensional
// wake of a Gaussian of rms sigma_long at d, with the same images; in free
// space only the tails of the smoothing. Also on a grid of 28,335 points,
// whose wake between plates covers twice as many offsets.
TEST_F(Projected, PlateImagesOfASourceAhead) {
    const struct {
        double d, sigma_long;  // m
        double least;          // the trailing force against the leading one
    } cases[] = {{5e-3, 1e-3, 0.05}, {0.04, 1e-5, 5e-7}};
    const double beta = p0 / std::sqrt(p0 * p0 + 1.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.d);
        setup();
        force_settings.sigma_long = c.sigma_long;
        bunch_at(7.0, {0.0, c.d}, {0.0, Q});
        force_settings.shield = 0.02;
        start_capture();
        ASSERT_EQ(run(F), 0);
        EXPECT_TRUE(end_capture().empty());  // no line at all
        const double trailing = F[0];
        static forces::CsrWork work;
        double w[3];
        const double sw = c.sigma_long * beta;  // the wake's rms [m]
        forces::WakePars E{sw, std::sqrt(p0 * p0 + 1.0), 7.0, c.d - 0.1 * sw, c.d + 0.1 * sw, 0.0, 0.02, 0.3};
        const double tab[4] = {1.0, R, 11.0, 0.0};
        ASSERT_EQ(forces::csr5(forces::SrTable(tab, 2), 1, E, w, work), forces::csr_ok);
        const double want = Q * w[1] * force_scale;
        EXPECT_GT(std::fabs(want), c.least * std::fabs(F[3]));  // not rounding beside the leading force
        EXPECT_NEAR(trailing, want, 0.01 * std::fabs(want)) << "leading " << F[3];
        force_settings.shield = 0.0;
        ASSERT_EQ(run(F), 0);
        EXPECT_LT(std::fabs(F[0]), 0.01 * std::fabs(want));
    }
}

// Every grid that runs in free space runs between plates: nsam + 25 <= 50000
// points, the wake then on up to 2 nsam - 1 offsets. Two particles on the
// first straight (no wake), the second D behind the first: nsam = 26 +
// nint(D/(beta h) + 25).
TEST_F(Projected, GridLimitWithAndWithoutPlates) {
    const double sl = 1e-6, hb = 0.2 * 0.7071067811865476 * sl;  // beta h [m]
    for (int nsam : {49975, 49976})
        for (double shield : {0.0, 0.02}) {
            SCOPED_TRACE(testing::Message() << nsam << " points, shield " << shield);
            setup();
            force_settings.sigma_long = sl;
            force_settings.shield = shield;
            bunch_at(0.5, {0.0, -(nsam - 51 + 0.3) * hb}, {Q, Q});
            force_settings.ltest = true;
            start_capture();
            const std::int32_t st = run(F);
            const auto log = end_capture();
            if (nsam == 49975) {  // the five test lines alone, "ctsig=" with nsam
                EXPECT_EQ(st, 0);
                ASSERT_EQ(log.size(), 5u);
                EXPECT_TRUE(log[3].ends_with(" 49975")) << log[3];
            } else {
                EXPECT_EQ(st, 1);
                // the line saying why and what would work, then the model's own
                ASSERT_EQ(log.size(), 5u);
                EXPECT_EQ(log[2], "   most 49975; give sigma_long >= 1.00005e-06 m");
                EXPECT_EQ(log[3], " nf2-nf1+1.gt.nsamax");
                EXPECT_EQ(log[4], " error in force1");
            }
        }
}

TEST_F(Projected, WakeFileResampling) {
    auto& f = force_settings;
    // without a file and weight 0 on the CSR wake: no force at all
    gaussian_bunch(6.0);
    f.par4 = 1.0;
    ASSERT_EQ(run(F), 0);
    EXPECT_EQ(std::count(F.begin(), F.end(), 0.0), std::ptrdiff_t(F.size()));

    // a file for a longer bunch (2 s') is used unsmoothed and resampled from
    // the two samples around each point: a V-shaped wake |x| stays |x| over
    // its whole reach, 5 sigwak = 50 points ahead of a charge (the last one
    // on the edge, where rounding decides) and all behind it
    setup();
    bunch_at(6.0, {0.0}, {Q});
    f.lwake = true;
    f.sigwak = 2.0 * 0.7071067811865476e-3;
    f.stpwak = 0.2 * f.sigwak;
    f.n1wak = -30, f.n2wak = 30;
    for (int k = -30; k <= 30; ++k) f.wakdat(k + 31) = std::fabs(k * f.stpwak);
    // a "test" run: the records of the resampled file wake, fc1_w_sub.dat (none when the run fails)
    auto records = [&] {
        force_settings.ltest = true;
        start_capture();
        const bool ok = run(F) == 0;
        end_capture();
        std::vector<double> v;
        for (const auto& l : testsupport::lines_of(testsupport::read_file("fc1_w_sub.dat")))
            if (ok) v.push_back(std::strtod(l.c_str(), nullptr));
        return v;
    };
    const std::vector<double> fw = records();
    const double h = 0.2 * 0.7071067811865476e-3 / std::sqrt(1.0 - 1.0 / (p0 * p0 + 1.0));
    ASSERT_EQ(fw.size(), 2u + 50u + 51u);  // i = -q .. nsam - 1, q = nint(5 s_eff/h) = 50
    for (int i = -49; i <= 50; ++i) EXPECT_NEAR(fw[std::size_t(i + 52)], std::fabs(i * h), 1e-15) << i;

    // a file for a shorter bunch: the coarse grid reaches a = 5 s' ahead,
    // 28.00000001 file steps here, qa = int(0.99999999 + a/stpwak) = 28 (the
    // excess of 1e-8 forgiven), so the first point, at -28.00000001 coarse
    // steps between samples -29 and -28, lies beyond the grid: 0
    setup();
    bunch_at(6.0, {0.0}, {Q});
    f.sigma_long = 0.0009144245188391054;
    f.lwake = true;
    f.sigwak = 0.000194593574428332;
    f.stpwak = 0.00011546354684546874;
    f.n1wak = -30, f.n2wak = 30;
    for (int k = -30; k <= 30; ++k) f.wakdat(k + 31) = 1.0 + std::fabs(k * f.stpwak);
    const std::vector<double> fs = records();
    ASSERT_EQ(fs.size(), 2u + 25u + 51u);  // q = nint(5 s_eff/h) = 25
    EXPECT_TRUE(fs[2] == 0.0 && fs[3] > 0.0) << fs[2] << " " << fs[3];
}

TEST(Deposit, ExactGaussiansOnEveryPath) {
    // the current of Gaussians of rms s' at random times: by moments (many
    // particles per grid point), by sampled products, and with a grid of
    // another step (one exponential per sample), against the plain sum
    std::mt19937 gen(5);
    std::normal_distribution<double> nd(0.0, 1e-3);
    const int np = 20000;
    std::vector<double> q(np), ct(np);
    for (std::size_t p = 0; p < q.size(); ++p) ct[p] = nd(gen), q[p] = 1e-13 * double(1 + p % 3);
    const auto [lo, hi] = std::minmax_element(ct.begin(), ct.end());
    for (double step : {0.2, 0.3}) {
        forces::Fc1Grid g{};
        g.sp = 1e-4;
        g.h = step * g.sp;
        g.ng1 = int(std::round((*lo - 5 * g.sp) / g.h));
        g.ng2 = int(std::round((*hi + 5 * g.sp) / g.h));
        g.nsam = g.ng2 - g.ng1 + 1;
        const std::size_t ns = std::size_t(g.nsam);
        std::vector<double> ref(ns), moments(ns), direct(ns), mom(2 * forces::nmom * ns);
        forces::fc1dep(q, ct, g, moments, mom);
        forces::fc1dep(q, ct, g, direct, {});
        const double hw = 5 * g.sp / g.h;
        for (std::size_t p = 0; p < q.size(); ++p) {
            const double u = (ct[p] - g.ng1 * g.h) / g.h + 1;
            for (int k = std::max(int(std::round(u - hw)), 1); k <= std::min(int(std::round(u + hw)), g.nsam); ++k)
                ref[std::size_t(k - 1)] += q[p] * 299792458.0 / (2.5066282746310002 * g.sp) *
                                           std::exp(-0.5 * std::pow((u - k) * g.h / g.sp, 2));
        }
        const double pk = *std::max_element(ref.begin(), ref.end());
        for (std::size_t k = 0; k < ns; ++k) {
            EXPECT_NEAR(moments[k], ref[k], 1e-13 * pk) << step << " " << k;
            EXPECT_NEAR(direct[k], ref[k], 1e-13 * pk) << step << " " << k;
        }
    }
}

// The noise filter sorts the times of equal charges and replaces them by
// moving means of two widths: times on a line, given in reverse, come back
// as the line, ends included (a line is its own moving mean).
TEST(NoiseFilter, SortsAndSmoothsEqualCharges) {
    const int M = 400;
    std::vector<double> ct(M), q(M, 1e-12), sx(M + 1);
    for (int k = 0; k < M; ++k) ct[std::size_t(k)] = M - k;
    ASSERT_TRUE(forces::fc1flt(ct, q, sx, 1.0, 7.0));
    for (int k = 0; k < M; ++k) EXPECT_NEAR(ct[std::size_t(k)], k + 1, 1e-9) << k;
    EXPECT_FALSE(forces::fc1flt(ct, q, sx, 0.0, 10.0));  // off
    EXPECT_FALSE(forces::fc1flt(ct, q, sx, 1.0, 1.0));
    q[7] = 2e-12;  // unequal charges
    EXPECT_FALSE(forces::fc1flt(ct, q, sx, 1.0, 10.0));

    // noisy times, shuffled: each sorted time k becomes 2/3 of its moving
    // mean of half-width 0.4 par2 plus 1/3 of that of 0.75 par2, the
    // half-width h tapered towards either end, h = w g((k - 1)/(2w)) and
    // w g((M - k)/(2w)), g(a) = a - a^2/4 up to a = 2 (1 beyond), whichever
    // is less; at most 1: the time itself; else the means over 2n + 1 and
    // 2n + 3 times, n = int(h), weighted n + 1 - h and h - n
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> jit(-0.4, 0.4);
    for (int k = 0; k < M; ++k) ct[std::size_t(k)] = k + 1 + jit(gen);
    std::shuffle(ct.begin(), ct.end(), gen);
    std::fill(q.begin(), q.end(), 1e-12);
    std::vector<double> x = ct;
    std::sort(x.begin(), x.end());
    const double par2 = 10.0;
    ASSERT_TRUE(forces::fc1flt(ct, q, sx, 1.0, par2));
    auto mean = [&](int k, double w) {  // k = 1..M
        const auto g = [](double a) { return a <= 2.0 ? a - 0.25 * a * a : 1.0; };
        const double h = w * std::min(g((k - 1) / (2.0 * w)), g((M - k) / (2.0 * w)));
        if (h <= 1.0) return x[std::size_t(k - 1)];
        const int n = int(h);
        double m[2] = {0.0, 0.0};
        for (int i = k - n - 1; i <= k + n + 1; ++i) {
            m[1] += x[std::size_t(i - 1)] / (2 * n + 3);
            if (i >= k - n && i <= k + n) m[0] += x[std::size_t(i - 1)] / (2 * n + 1);
        }
        return (n + 1 - h) * m[0] + (h - n) * m[1];
    };
    double moved = 0.0;
    for (int k = 1; k <= M; ++k) {
        const double want = 2.0 / 3.0 * mean(k, 0.4 * par2) + 1.0 / 3.0 * mean(k, 0.75 * par2);
        EXPECT_NEAR(ct[std::size_t(k - 1)], want, 1e-10) << k;
        moved = std::max(moved, std::fabs(ct[std::size_t(k - 1)] - x[std::size_t(k - 1)]));
    }
    EXPECT_GT(moved, 0.2);  // the smoothing moved the times, not the sorting alone
}

TEST_F(Projected, ReferencePointOnTheLine) {
    for (double s : {-0.5, 0.5, 1.2, 6.0, 10.9, 13.0, 18.0}) {
        for (int ip : {1, 2, 3, 4}) {  // the walk reaches the point from any start
            bunch_at(s, {0.0}, {Q});
            bunch::prtcls.iptcl(1, 1) = ip;
            double s1 = 0.0, tx = 0.0, ty = 0.0;
            forces::refpnt(lattice::latcom, foundation::particles(bunch::prtcls.xptcl, 1), foundation::indices(bunch::prtcls.iptcl, 1),
                           s1, tx, ty);
            EXPECT_NEAR(s1, s, 1e-12) << s << " " << ip;
            EXPECT_NEAR(tx, std::cos(on_line(s).phi), 1e-12);
            EXPECT_NEAR(ty, std::sin(on_line(s).phi), 1e-12);
        }
    }
}

// A diagnostic file before fc1.dat that cannot be written (a folder takes
// its name; fc1.dat itself: the deck diagnostic_blocked_projected): the
// line of the failed open, then the warning naming it; no later file is
// written, the forces are those of a run that wrote every file, and the
// failure is counted for the tracking run.
TEST_F(Projected, DiagnosticFileNotWrittenKeepsTheForces) {
    gaussian_bunch(6.0);
    force_settings.ltest = true;
    start_capture();
    ASSERT_EQ(run(F), 0);
    end_capture();
    const std::vector<double> written = F;
    const std::int32_t failed = work().diag_failures;
    std::filesystem::remove("fc1.dat");
    std::filesystem::remove("fc1_curr.dat");
    std::filesystem::create_directory("fc1_curr.dat");
    start_capture();
    EXPECT_EQ(run(F), 0);
    const auto log = end_capture();
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(log[log.size() - 2].starts_with(" cannot open fc1_curr.dat for writing: ")) << log[log.size() - 2];
    EXPECT_EQ(log.back(), " warning: diagnostic file fc1_curr.dat not written");
    EXPECT_FALSE(std::filesystem::exists("fc1.dat"));
    EXPECT_EQ(F, written);
    EXPECT_EQ(work().diag_failures - failed, 1);
    EXPECT_TRUE(testsupport::pool_free());
}

TEST_F(Projected, FailuresGiveZeroForces) {
    auto& f = force_settings;
    auto file = [&](double sigwak, double stpwak) {
        f.lwake = true;
        f.sigwak = sigwak;
        f.stpwak = stpwak;
        f.n1wak = -int(std::ceil(3 * sigwak / stpwak));
        f.n2wak = -f.n1wak;
    };
    const struct {
        const char* what;
        std::function<void()> set;
        const char* line;  // the line before " error in force1" ("" = any)
    } cases[] = {
        {"grid beyond any integer", [&] { f.sigma_long = 1e-13; }, " nsam.gt.nsamax"},
        {"images", [&] { f.shield = 1e-6; }, " error in force1: shield_max/shield gives more than 1000 images"},
        {"kernel", [&] { file(1e-7, 1e-8); }, " error in wake convolution: ng2-ng1+1.gt.nsamax"},
        {"summation", [&] { file(2.0, 0.5); }, " error in summation: ng2-ng1+1.gt.nsamax"},
        {"no lattice", [&] { lattice::latcom.nfb = 0; }, " error in force1: the lattice has no field boundary"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup();
        gaussian_bunch(6.0);
        c.set();
        start_capture();
        EXPECT_EQ(run(F), 1);
        const auto log = end_capture();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log.back(), " error in force1");
        EXPECT_TRUE(!*c.line || log[log.size() - 2] == c.line) << log[log.size() - 2];
        EXPECT_EQ(std::count(F.begin(), F.end(), 0.0), std::ptrdiff_t(F.size()));
        EXPECT_TRUE(testsupport::pool_free());
    }
}

// A wake_file's wake and the CSR wake beyond the grid's arrays: the line
// says why and gives a sigma_long, with which the evaluation runs.
TEST_F(Projected, WakeFileSpanTooLongGivesTheSigmaLongThatFits) {
    auto& f = force_settings;
    setup();
    gaussian_bunch(6.0);
    f.lwake = true;
    f.sigwak = 2.0;
    f.stpwak = 0.5;
    f.n1wak = -12;
    f.n2wak = 12;
    start_capture();
    EXPECT_EQ(run(F), 1);
    const auto log = end_capture();
    std::string text;
    for (const auto& l : log) text += l;
    const std::string give = "give sigma_long >= ";
    const auto at = text.find(give);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("sigma_long = " + foundation::short_real(f.sigma_long) + " m is too short"), std::string::npos);
    const double least = std::stod(text.substr(at + give.size()));
    EXPECT_GT(least, f.sigma_long);
    f.sigma_long = least;
    start_capture();
    EXPECT_EQ(run(F), 0);
    (void)end_capture();
}

}  // namespace
