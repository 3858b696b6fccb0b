// Green's-function lookup: the bucket table, interpolation exact on bilinear
// fields with lazy evaluation at layout positions, marking, the ownership
// of outside points across chunks, and the "green" monitor files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bunch/monitor.hpp"
#include "forces/gmeshl.hpp"
#include "forces/ptom.hpp"
#include "foundation/files.hpp"
#include "support/support.hpp"

namespace {

using forces::greenm;
using forces::greens;
using forces::Pt2;

constexpr double sig = 1e-3, sigr = 2e-4;

// A field bilinear in x and y (the mesh interpolates it exactly).
std::array<double, 3> field(double x, double y) {
    const double u = x / sig, v = y / sig;
    return {1 + 2 * u + 3 * v + 4 * u * v, -2 + u - v + 0.5 * u * v, 0.3 + 0.1 * u - 0.2 * v + 0.05 * u * v};
}
void bilinear(const Pt2& z, Pt2& w, double& cbz) {
    const auto f = field(z[0], z[1]);
    w = {f[0], f[1]};
    cbz = f[2];
}
void must_not_be_called(const Pt2&, Pt2&, double&) { ADD_FAILURE() << "sample evaluated again"; }

// A mesh over a tilted ellipse around the source, laid out in one chunk.
class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        run::reset_state();
        auto h = [](double phi) {
            const double d = phi - 0.4;
            return std::sqrt(144 * std::cos(d) * std::cos(d) + 16 * std::sin(d) * std::sin(d)) * sig;
        };
        forces::bounda(h, 0.0, forces::greenc.poly, 20);
        bool lnext = true;
        forces::gmesh0(true, lnext, {sig, sigr, 0.0}, {});
        ASSERT_FALSE(lnext);
        old_ = forces::set_green_evaluator(bilinear);
        std::mt19937 gen(7);
        std::uniform_real_distribution<double> ux(-14 * sig, 14 * sig), uy(-8 * sig, 8 * sig);
        for (int k = 0; k < 3000; ++k) pts_.push_back({ux(gen), uy(gen)});
        const int nx = greens.nx, mid = nx / 2;
        const double top = std::min(greenm.xg(greens.nxy2 + mid), greenm.xg(greens.nxy2 + mid + 1));
        pts_.push_back({greenm.xg(nx), 0.5 * (greenm.xg(2 * nx) + greenm.xg(3 * nx))});  // on the last column
        pts_.push_back({greenm.xg(mid), top});  // at the top of a column's samples
        pts_.push_back({greenm.xg(mid), greenm.xg(greens.nxy1 + mid) - 1e-6});  // below its cell
    }
    void TearDown() override { forces::set_green_evaluator(old_); }
    // gmesh2 at z: 1 interpolated (checked exact), 2 to be evaluated directly, 0 another chunk's
    static int probe(const Pt2& z) {
        bool lin, lout;
        Pt2 w{};
        double cbz = 0;
        forces::gmesh2(z, lin, lout, w, cbz);
        EXPECT_FALSE(lin && lout);
        const auto f = field(z[0], z[1]);
        const double err = std::max({std::abs(w[0] - f[0]), std::abs(w[1] - f[1]), std::abs(cbz - f[2])});
        EXPECT_TRUE(!lin || err <= 1e-11 * (1 + std::abs(f[0]) + std::abs(f[1]))) << z[0] << " " << z[1];
        return lin ? 1 : lout ? 2 : 0;
    }
    forces::GreenEvaluator old_ = nullptr;
    std::vector<Pt2> pts_;
};

TEST(LookupTable, BucketsAndCells) {
    std::vector<std::int32_t> ib(1000);
    const std::vector<double> two = {1.0, 3.0};
    forces::fmesh1(two, ib);
    EXPECT_TRUE(ib[0] == 1 && std::all_of(ib.begin() + 1, ib.end(), [](int v) { return v == 2; }));
    // a graded grid whose last two values coincide: no bucket beyond the table
    std::vector<double> x = {0.0};
    while (x.back() < 100.0) x.push_back(x.back() + 0.01 * (1.0 + x.size() % 7));
    x.push_back(x.back());
    std::vector<std::int32_t> ib2(1000);
    forces::fmesh1(x, ib2);
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(0.0, x.back());
    for (int k = 0; k < 20000; ++k) {
        std::int32_t i = 0, i2 = 0;
        bool lin = false, lin2 = false;
        const double v = k == 0 ? x.back() : u(gen), v2 = 1.0 + 2.0 * k / 19999.0;
        forces::fmesh2(x, ib2, v, i, lin);
        EXPECT_TRUE(lin && i == std::upper_bound(x.begin(), x.end(), v) - x.begin()) << v;
        forces::fmesh2(two, ib, v2, i2, lin2);  // cell 1, and 2 at the top
        EXPECT_TRUE(lin2 && i2 == (v2 < 3.0 ? 1 : 2)) << v2;
    }
    std::int32_t i = 0;
    bool lin = true;
    forces::fmesh2(two, ib, 3.5, i, lin);  // beyond the table
    EXPECT_FALSE(lin);
}

// A shared pass leaves zeros in the samples it did not evaluate: the lazy
// evaluation takes the positions from the column layout.
TEST_F(Lookup, InterpolationIsExactOnBilinearFieldsAfterSamplesWereZeroed) {
    for (int l = 1; l <= greenm.n2gre; ++l) greenm.g(1, l) = greenm.g(2, l) = greenm.g(3, l) = 0.0;
    int nin = 0;
    for (const auto& z : pts_) nin += probe(z) == 1;  // one chunk: every point is answered
    EXPECT_GT(nin, 1000);
    const auto n = pts_.size();
    EXPECT_EQ(probe(pts_[n - 3]), 1);  // on the last column
    EXPECT_EQ(probe(pts_[n - 2]), 1);  // at the top of the samples
    EXPECT_EQ(probe(pts_[n - 1]), 2);  // below its cell: evaluated directly
    for (const auto& z : pts_) EXPECT_NE(probe(z), 0);
}

// gmesh1 marks exactly the samples gmesh2 then reads: once the marked
// samples are evaluated, nothing is evaluated lazily.
TEST_F(Lookup, MarkedSamplesAreAllTheInterpolationNeeds) {
    bool lout;
    for (const auto& z : pts_) forces::gmesh1(z, lout);
    int nreq = 0;
    for (int l = 1; l <= greenm.n2gre; ++l) {
        if (!greenm.req(l)) continue;
        Pt2 p, w;
        forces::gmpos(l, p[0], p[1]);
        EXPECT_TRUE(p[0] == greenm.g(1, l) && p[1] == greenm.g(2, l));
        bilinear(p, w, greenm.g(3, l));
        greenm.g(1, l) = w[0], greenm.g(2, l) = w[1], ++nreq;
    }
    EXPECT_LT(nreq, greenm.n2gre);
    forces::set_green_evaluator(must_not_be_called);
    for (const auto& z : pts_) probe(z);
}

// In small chunks every point is interpolated or evaluated directly in
// exactly one pass, also one whose cell lies in a later chunk and whose y
// lies outside that cell's samples.
TEST_F(Lookup, EveryPointIsAnsweredInExactlyOnePassOverTheChunks) {
    std::vector<int> answered(pts_.size(), 0);
    bool lnext = true;
    int passes = 0;
    for (; lnext; ++passes) {
        forces::gmchnk(passes == 0, lnext, {sig, sigr, 0.0}, 400);
        for (std::size_t k = 0; k < pts_.size(); ++k) answered[k] += probe(pts_[k]) != 0;
    }
    EXPECT_GT(passes, 5);
    for (std::size_t k = 0; k < pts_.size(); ++k) EXPECT_EQ(answered[k], 1) << pts_[k][0] << " " << pts_[k][1];
}

class GreenMonitor : public testsupport::Folder {
protected:
    // Opens slot k as the tracker does before a step, with old lines in it.
    int open_slot(int k, const std::string& name) {
        auto& M = bunch::moncom;
        M.moact(k) = true;
        M.motype(k) = 3;
        M.moform(k) = 1;
        M.mocnt(k) = 1;
        bunch::mo2com.moname(k) = name;
        std::int32_t unit = 0, st = 0;
        foundation::fioout(bunch::monsuf(name, 1), unit, st);
        for (int l = 0; l < 80; ++l) (void)foundation::unit_write(unit, "old line old line old line");
        M.mounit(k) = unit;
        return unit;
    }
};

TEST_F(GreenMonitor, RewritesTheFileFromItsStartAndFreesAUnitThatCannotBeRewound) {
    forces::Polygon poly;
    for (int k = 1; k <= 20; ++k) poly(1, k) = 0.1 * k, poly(2, k) = -1.0 / k;
    const lattice::PthChg rows[2] = {{-3.5, 1.0, 2.0, 0.25}, {-1.0, 4.0, 5.0, 0.0}};
    EXPECT_EQ(forces::gmshd1(poly, 20, rows), 0);  // no green monitor: nothing
    const int unit = open_slot(2, "grn.dat");
    open_slot(3, "bad.dat");
    ASSERT_EQ(foundation::unit_close(bunch::moncom.mounit(3)), 0);  // its unit cannot be rewound
    const int bad = bunch::moncom.mounit(3);
    const std::int32_t failed = bunch::omofai();
    for (const int nchg : {2, 0}) {
        testsupport::start_capture();
        const int st = forces::gmshd1(poly, 20, forces::ChgRows(rows, std::size_t(nchg)));
        const auto out = testsupport::end_capture();
        EXPECT_EQ(nchg == 2, st != 0 && out == std::vector<std::string>{" error in output of online_monitor=bad.dat"});
        EXPECT_TRUE(!bunch::moncom.moact(3) && bunch::moncom.mounit(3) == 0 && !foundation::iopcom.iuse(bad));
        EXPECT_EQ(bunch::omofai(), failed + 1);  // the run reports its output incomplete
        ASSERT_EQ(foundation::unit_flush(unit), 0);
        // six lists, each led by its count (their layout: the deck mesh_models); no old line remains
        const auto lines = testsupport::lines_of(testsupport::read_file("grn_0001.dat"));
        ASSERT_EQ(lines.size(), 6u + 40u + 4u * unsigned(nchg));
        EXPECT_TRUE(std::stod(lines[0]) == 20 && std::stod(lines[21]) == 20 && std::stod(lines[42]) == nchg);
        EXPECT_TRUE(std::stod(lines[20]) == poly(1, 20) && std::stod(lines[41]) == poly(2, 20));
        EXPECT_TRUE(nchg == 0 || (std::stod(lines[43]) == rows[0].ct && std::stod(lines[lines.size() - 2]) == 0.25));
    }
    EXPECT_TRUE(bunch::moncom.moact(2));
}

}  // namespace
