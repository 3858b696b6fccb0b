// Bunch statistics: rms sizes about particle 1 and the step-error measure,
// on small bunches with answers in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bunch/error.hpp"
#include "support/support.hpp"

namespace {

using ftypes::Logical;
using testsupport::pi;

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
