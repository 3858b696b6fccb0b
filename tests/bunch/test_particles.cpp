// The "particles" layer: list formats, the transform into the lab frame,
// the charge sign, the reference momentum and failing lists.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "support/support.hpp"

namespace {

using bunch::prtcls;

using testsupport::pi;
constexpr double ev = foundation::force_scale;  // eV/c -> m*c

using Rec = std::array<double, 7>;  // x, y, z, p, phi, theta, q

void expect_record(int i, const Rec& want, const std::string& what) {
    for (int k = 1; k <= 7; ++k)
        EXPECT_NEAR(prtcls.xptcl(k, i), want[k - 1], 1e-12 * (1.0 + std::fabs(want[k - 1])))
            << what << ": particle " << i << " word " << k;
}

// The value behind a log label such as "  reference momentum             =".
double logged_value(const std::vector<std::string>& log, const std::string& label) {
    for (const auto& l : log)
        if (l.rfind("  " + label, 0) == 0) return std::stod(l.substr(label.size() + 2));
    ADD_FAILURE() << "no log line " << label;
    return 0.0;
}

class Particles : public testsupport::Folder {
protected:
    std::int32_t ierr = 0;
    // The "particles" layer on the block: its log, its status in ierr.
    std::vector<std::string> particles(const std::string& block) { return layer(bunch::lypart, "particles " + block, ierr); }
};

TEST_F(Particles, TransformIntoLabFrame) {
    const double c30 = std::cos(pi / 6), s30 = std::sin(pi / 6);
    struct Case { const char* name; std::string deck; std::vector<Rec> want; };
    const Case cases[] = {
        {"angle 90: particle 1 at (1,0) lands at (0,-1), offsets turned alike",
         "{ reference_point_phi = 90 array = 0 0 0 0 0 0 0 1 0 0 1e6 0 0 1e-9  0.1 0.2 0 0 0 0 1e-9 }",
         {{0, -1, 0, 1e6 * ev, -pi / 2, 0, 1e-9}, {0.2, -1.1, 0, 1e6 * ev, -pi / 2, 0, 1e-9}}},
        {"reference point subtracted, offsets relative to particle 1",
         "{ reference_point_x = 0.5 reference_point_y = 0.25 array = 0 0 0 0 0 0 0 "
         "1 1 0.1 3e6 4e6 0 1e-9  0.01 0.02 0.03 1e5 0 0 2e-9 }",
         {{0.5, 0.75, 0.1, 5e6 * ev, std::atan2(4.0, 3.0), 0, 1e-9},
          {0.51, 0.77, 0.13, std::hypot(3.1e6, 4e6) * ev, std::atan2(4.0, 3.1), 0, 2e-9}}},
        {"elevation of the momentum", "{ array = 0 0 0 0 0 0 0 0 0 0 1e6 0 1e6 1e-9 }",
         {{0, 0, 0, std::sqrt(2.0) * 1e6 * ev, 0, pi / 4, 1e-9}}},
        {"fmt2: offsets along, across and above the reference momentum",
         "{ format = fmt2 array = 0 0 0 0 0 0 0 0 0 0 0 1e6 0 1e-9  0.1 0.2 0.3 1e5 2e5 0 1e-9 }",
         {{0, 0, 0, 1e6 * ev, pi / 2, 0, 1e-9},
          {-0.2, 0.1, 0.3, std::hypot(2e5, 1.1e6) * ev, std::atan2(1.1e6, -2e5), 0, 1e-9}}},
        {"fmt2 at 30 degrees: basis from the turned reference momentum",
         "{ format = fmt2 reference_point_phi = 30 array = 0 0 0 0 0 0 0 0 0 0 1e6 0 0 1e-9  0.1 0.2 0 0 0 0 1e-9 }",
         {{0, 0, 0, 1e6 * ev, -pi / 6, 0, 1e-9},
          {0.1 * c30 + 0.2 * s30, -0.1 * s30 + 0.2 * c30, 0, 1e6 * ev, -pi / 6, 0, 1e-9}}},
    };
    for (const auto& c : cases) {
        particles(c.deck);
        ASSERT_EQ(ierr, 0) << c.name;
        ASSERT_EQ(prtcls.npart, static_cast<int>(c.want.size())) << c.name;
        for (std::size_t i = 0; i < c.want.size(); ++i)
            expect_record(static_cast<int>(i) + 1, c.want[i], c.name);
        EXPECT_TRUE(prtcls.ldef(1) && !prtcls.lfbidx);
    }
}

TEST_F(Particles, AverageMomentumConvertsTheSummedMagnitudes) {
    // momenta along x in eV/c: the magnitudes are summed in eV/c, particle 1
    // first, then converted once and divided by their number
    for (const auto& [d2, d3] : {std::pair{8000, 24007}, {19000, 57007}, {35000, 105007}}) {
        const auto log = particles("{ reference_momentum = average array = 0 0 0 0 0 0 0 0 0 0 1e6 0 0 1e-9 0 0 0 " +
                                   std::to_string(d2) + " 0 0 1e-9 0 0 0 " + std::to_string(d3) + " 0 0 0 }");
        ASSERT_EQ(ierr, 0);
        const double want = (1e6 + (1e6 + d2) + (1e6 + d3)) * ev / 3;
        EXPECT_EQ(prtcls.p0, want) << d2;
        EXPECT_EQ(logged_value(log, "averaged momentum              ="), want) << d2;
    }
}

TEST_F(Particles, ChargeSignAndVantuColumns) {
    // vantu: y z x py pz px t[ns] q[nC] n status
    const auto log = particles(
        "{ format = vantu array = "
        "1 2 3 4e6 5e6 6e6 2 -0.5 7 3 "    // particle 1, active
        "0 0 0 0 0 0 9 1 0 4 "             // status 4: inactive though charged
        "0 0 0 0 0 0 9 0 0 5 "             // no charge: inactive
        "0.1 0 0 0 0 0 9 -1.5 0 5 }");     // active
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(prtcls.npart, 4);
    const double p1 = std::sqrt(36e12 + 16e12 + 25e12);
    // all charges negated: the active ones summed to -2 nC
    expect_record(1, {3, 1, 2, p1 * ev, std::atan2(4e6, 6e6), std::asin(5e6 / p1), 0.5e-9},
                  "particle 1");
    EXPECT_NEAR(prtcls.xptcl(7, 2), -1e-9, 1e-24) << "inactive charge negated too";
    EXPECT_NEAR(prtcls.xptcl(2, 4), 1.1, 1e-14) << "column 1 is y";
    EXPECT_NEAR(prtcls.xptcl(7, 4), 1.5e-9, 1e-24);
    EXPECT_TRUE(prtcls.qsign == -1 && std::fabs(prtcls.qtot - 2e-9) < 1e-24) << prtcls.qtot;
    EXPECT_DOUBLE_EQ(prtcls.ctptcl, 2 * 1e-09 * 299792458.0) << "time of particle 1 only";
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(prtcls.lact(i) == (i == 1 || i == 4) && prtcls.ldef(i)) << "particle " << i;
    EXPECT_NEAR(logged_value(log, "total charge / C               ="), -2e-9, 1e-24);
    // positive sum: nothing negated
    particles("{ array = 0 0 0 0 0 0 0 0 0 0 1e6 0 0 2e-9 0 0 0 0 0 0 -1e-9 }");
    ASSERT_EQ(ierr, 0);
    EXPECT_TRUE(prtcls.qsign == 1 && std::fabs(prtcls.qtot - 1e-9) < 1e-24 && prtcls.xptcl(7, 2) == -1e-9) << prtcls.qtot;
}

// A refused layer says what is wrong and where (particle, numbers found,
// deck line) before the layer's own lines; a total charge that is not a
// number is refused.
TEST_F(Particles, RefusalsSayWhatAndWhere) {
    struct Case { const char* name; std::string body; std::vector<std::string> log; };  // body: after "particles"
    const std::string list_failed = " error in array with particles", layer_failed = " error in particles";
    const Case cases[] = {
        {"a word that is no number", "{ array = 0 0 0 0 0 0 0\n 0 0 0 1e6 0 0 1e-9\n 0 1e-3 0 0 x 0 1e-9 }",
         {" particle 2: 4 of 7 numbers found, 'x' is not a number, tarvel.in line 3", list_failed,
          layer_failed}},
        {"a list that ends inside a group", "{ array = 0 0 0 0 0 0 0\n 0 0 0 1e6 }",
         {" particle 1: 4 of 7 numbers found, the list ends, tarvel.in line 2", list_failed, layer_failed}},
        {"a vantu status that is no integer", "{ format = vantu array =\n 0 0 0 0 0 1e6 0 1 0 3.5 }",
         {" particle 1: 9 of 10 numbers found, '3.5' is not an integer", "   at tarvel.in line 2", list_failed,
          layer_failed}},
        {"no particle", "{ array = 0 0 0 0 0 0 0 }",
         {" the list holds no particle, tarvel.in line 1", list_failed, layer_failed}},
        {"charges summing beyond the range of numbers",
         "{ array = 0 0 0 0 0 0 0\n 0 0 0 1e6 0 0 1e308\n 0 0 0 0 0 0 1e308 }",
         {" the charges of the active particles sum beyond the range of numbers", "   at tarvel.in line 3",
          list_failed, layer_failed}},
        {"a reference particle at rest", "{ array = 0 0 0 0 0 0 0 0 0 0 0 0 0 1e-9 }",
         {" the reference particle 1 has momentum 0 eV/c, tarvel.in line 1", list_failed,
          layer_failed}},
        {"a given reference momentum not > 0, named where it was given",
         "{ reference_momentum =\n -5\n array = 0 0 0 0 0 0 0 0 0 0 1e6 0 0 1e-9 }",
         {" the reference_momentum given is not > 0, tarvel.in line 2", list_failed, layer_failed}},
        {"an unknown format", "{ format = fmt3 array = 0 0 0 0 0 0 0 }",
         {" format 'fmt3' is none of fmt1 fmt2 vantu, tarvel.in line 1", layer_failed}},
        {"an unknown word", "{\n formt = fmt1 }",
         {" 'formt' is not a word of the particles layer, tarvel.in line 2", layer_failed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        EXPECT_EQ(particles(c.body), c.log);
        EXPECT_NE(ierr, 0);
    }
    EXPECT_EQ(prtcls.qtot, 0.0);  // no "Infinity" total charge was stored
}

}  // namespace
