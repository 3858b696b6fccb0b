// The "lattice" layer: placement of field boundaries (closed-form positions
// of first boundaries, straight continuations, relative and absolute arcs,
// and every refusal), angles in degrees from deck texts and the boundary
// capacity (the deck tests check the records through "latout.dat"; the first
// boundary from rho and psi, the relative 30 degree arc and an arc of 1500
// degrees: the decks element_examples, mixed and full_turn_arc).
#include <cmath>
#include <string>
#include <vector>

#include "support/support.hpp"

namespace {

using lattice::latcom;
using testsupport::pi;
using testsupport::U;
constexpr double deg = pi / 180.0;

struct Step { double r, rho, psi, ds, dpsi; };  // psi, dpsi in radians here

lattice::Pos4 make_pos(const Step& s) { return lattice::Pos4{{s.rho, s.psi, s.ds, s.dpsi}}; }

// steps: all but the last must succeed; last: the expected fb(1..8, nfb) of the last step, empty when
// refused with the log line message after the line why (checked when given)
struct Case { const char* name; std::vector<Step> steps; std::vector<double> last; std::string message, why = ""; };

const double s3 = std::sqrt(3.0);

// The boundary at the end of a 30 degree arc of radius r = +-2 from the
// origin along +x (positive r turns clockwise), its normal along the tangent.
std::vector<double> arc30(double r) {
    const double sgn = r > 0 ? -1.0 : 1.0, psi = sgn * 30 * deg;
    return {1.0, sgn * (2.0 - s3), std::cos(psi), std::sin(psi), std::cos(psi), std::sin(psi), pi / 3, r};
}
// The same arc given by the line it ends on.
Step arc30_line(double r) {
    const std::vector<double> f = arc30(r);
    return {r, f[4] * f[0] + f[5] * f[1], std::atan2(f[5], f[4]), U, U};
}

std::vector<Case> cases() {
    return {
        {"first_from_rho_dpsi", {{0.0, 1.0, U, U, 60 * deg}}, {2.0, 0.0, 1.0, 0.0, 0.5, s3 / 2, 2.0, 0.0}, ""},
        {"first_keeps_r", {{3.0, U, U, 1.5, U}}, {1.5, 0.0, 1.0, 0.0, 1.0, 0.0, 1.5, 3.0}, ""},
        {"first_delta_s_wins", {{0.0, 7.0, U, 0.5, U}}, {0.5, 0.0, 1.0, 0.0, 1.0, 0.0, 0.5, 0.0}, ""},
        {"first_undefined", {{0.0, U, 30 * deg, U, U}}, {}, "error in position: first field boundary"},
        {"first_parallel", {{0.0, 1.0, 90 * deg, U, U}}, {}, "error in position"},
        {"straight_delta_s_dpsi",
         {{0.0, U, U, 1.0, U}, {0.0, U, U, 2.0, 30 * deg}},
         {3.0, 0.0, 1.0, 0.0, s3 / 2, 0.5, 3.0, 0.0}, ""},
        {"straight_rho_psi",
         {{0.0, U, U, 1.0, U}, {0.0, 4.0, 0.0, U, U}},
         {4.0, 0.0, 1.0, 0.0, 1.0, 0.0, 4.0, 0.0}, ""},
        {"straight_oblique_rho",
         {{0.0, U, U, 1.0, U}, {0.0, 2.0, 60 * deg, U, U}},  // 0.5 x = 2 - 0.5*1 ... x = 4
         {4.0, 0.0, 1.0, 0.0, 0.5, s3 / 2, 4.0, 0.0}, ""},
        {"straight_both_delta_s_wins",
         {{0.0, U, U, 1.0, U}, {0.0, 9.0, 45 * deg, 2.0, U}},
         {3.0, 0.0, 1.0, 0.0, std::cos(45 * deg), std::sin(45 * deg), 3.0, 0.0}, ""},
        {"straight_undefined", {{0.0, U, U, 1.0, U}, {0.0, U, 10 * deg, U, 5 * deg}}, {}, "error in position"},
        {"straight_parallel", {{0.0, U, U, 1.0, U}, {0.0, 2.0, 90 * deg, U, U}}, {}, "error in position"},
        {"relative_arc_clockwise",
         {{0.0, U, U, 0.0, U}, {1.0, U, U, pi / 2, U}},
         {1.0, -1.0, 0.0, -1.0, 0.0, -1.0, pi / 2, 1.0}, ""},
        {"relative_arc_counter_clockwise",
         {{0.0, U, U, 0.0, U}, {-1.0, U, U, pi / 2, U}},
         {1.0, 1.0, 0.0, 1.0, 0.0, 1.0, pi / 2, -1.0}, ""},
        {"relative_arc_dpsi_from_new_tangent",
         {{0.0, U, U, 0.0, U}, {1.0, U, U, pi / 2, 90 * deg}},
         {1.0, -1.0, 0.0, -1.0, 1.0, 0.0, pi / 2, 1.0}, ""},
        {"relative_arc_zero_length",
         {{0.0, U, U, 1.0, U}, {2.0, U, U, 0.0, U}},
         {1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 1.0, 2.0}, ""},
        {"relative_arc_exactly_a_full_circle",
         {{0.0, U, U, 0.0, U}, {-1.0, U, U, 2 * pi, U}}, {}, "error in position",
         "an arc of delta_s = 6.28319 m, r = -1 m turns by 360 degrees, a full circle or more"},
        {"relative_arc_just_below_a_full_circle",
         {{0.0, U, U, 0.0, U}, {1.0, U, U, 1.999 * pi, U}},
         {std::sin(1.999 * pi), -(1 - std::cos(1.999 * pi)), std::cos(1.999 * pi), -std::sin(1.999 * pi),
          std::cos(1.999 * pi), -std::sin(1.999 * pi), 1.999 * pi, 1.0}, ""},
        {"relative_arc_no_length",
         {{0.0, U, U, 0.0, U}, {1.0, 1.0, U, U, U}}, {}, "error in position, arc definition"},
        {"relative_arc_negative",
         {{0.0, U, U, 0.0, U}, {1.0, U, U, -0.5, U}}, {}, "error in position, relative arc definition"},
        {"absolute_arc_30_clockwise", {{0.0, U, U, 0.0, U}, arc30_line(2.0)}, arc30(2.0), ""},
        {"absolute_arc_30_counter_clockwise", {{0.0, U, U, 0.0, U}, arc30_line(-2.0)}, arc30(-2.0), ""},
        {"absolute_arc",
         {{0.0, U, U, 0.0, U}, {1.0, 1.0, -90 * deg, U, U}},
         {1.0, -1.0, 0.0, -1.0, std::cos(-90 * deg), -1.0, pi / 2, 1.0}, ""},
        {"absolute_arc_never_meets",
         {{0.0, U, U, 0.0, U}, {1.0, 2.5, -90 * deg, U, U}}, {}, "error in position, absolute arc definition"},
        {"absolute_arc_root_at_start",
         {{0.0, U, U, 0.0, U}, {1.0, 0.0, -90 * deg, U, U}}, {}, "error in position"},
        {"absolute_arc_root_at_start_oblique",
         {{0.0, U, U, 0.0, U}, {1.0, 0.0, 45 * deg, U, U}}, {}, "error in position"},
        {"absolute_arc_root_at_start_counter_clockwise",
         {{0.0, U, U, 0.0, U}, {-1.0, 0.0, -45 * deg, U, U}}, {}, "error in position"},
    };
}

TEST(Positi, ClosedFormPlacements) {
    for (const auto& c : cases()) {
        SCOPED_TRACE(c.name);
        run::reset_records();
        std::int32_t ierr = 0;
        const std::size_t n = c.steps.size();
        for (std::size_t k = 0; k + 1 < n; ++k) {
            lattice::positi(c.steps[k].r, make_pos(c.steps[k]), "m", true, ierr);
            ASSERT_EQ(ierr, 0);
        }
        testsupport::start_capture();
        lattice::positi(c.steps[n - 1].r, make_pos(c.steps[n - 1]), "last", false, ierr);
        const auto out = testsupport::end_capture();
        // the boundary is counted (and marked) whether it was placed or not
        EXPECT_TRUE(latcom.nfb == static_cast<int>(n) && !latcom.fbduty(n));
        EXPECT_EQ(lattice::latmks.fbmark(n).str(), "last");
        if (c.last.empty()) {
            // a line that says why, then the refusal
            EXPECT_EQ(ierr, 1);
            ASSERT_EQ(out.size(), 2u);
            EXPECT_EQ(out[1], " " + c.message);
            EXPECT_TRUE(c.why.empty() || out[0] == " " + c.why) << out[0];
        } else {
            EXPECT_EQ(ierr, 0);
            EXPECT_TRUE(out.empty());
            for (int k = 1; k <= 8; ++k)
                EXPECT_NEAR(latcom.fb(k, n), c.last[k - 1], 1e-14) << "k=" << k;
        }
    }
}

class LatticeFolder : public testsupport::Folder {};

// Degrees from the deck: boundary angles as value / 180 * pi, the multipole
// rotation as alpha * pi / 180 (the two orders differ in the last bit for
// 17, 33 and 34 degrees).
TEST_F(LatticeFolder, AngleConversionsFromDegrees) {
    for (double a : {17.0, 33.0, 34.0, -41.0, 60.0}) {
        SCOPED_TRACE(a);
        reset();
        const std::string d = std::to_string(a);
        std::int32_t ierr = 0;
        layer(lattice::lylatt,
              "lattice { quadrupole { position { rho = 1 psi = " + d + " } properties { alpha = " + d +
                  " } position { delta_s = 1 delta_psi = " + d + " } } }\n",
              ierr);
        ASSERT_EQ(ierr, 0);
        const double rad = a / 180.0 * pi;
        // boundary 2: the tangent (1, 0) turned by delta_psi
        for (int i : {1, 2}) EXPECT_TRUE(latcom.nx(i) == std::cos(rad) && latcom.ny(i) == std::sin(rad)) << i;
        EXPECT_EQ(latcom.rla(lattice::mp_alpha), a * pi / 180.0);  // the first multipole's rotation
    }
}

TEST_F(LatticeFolder, HundredAndFirstBoundaryRefused) {
    std::string deck = "lattice {\n";
    for (int k = 1; k <= 101; ++k) deck += " dipole { position { delta_s = 0.1 } }\n";
    std::int32_t ierr = 0;
    EXPECT_EQ(layer(lattice::lylatt, deck + "}\n", ierr),
              (std::vector<std::string>{" a lattice holds at most 100 field boundaries, tarvel.in line 102",
                                        " error in position: increase maxlat (latcom)", " error in dipole/multipole",
                                        " error in lattice"}));
    EXPECT_NE(ierr, 0);
    EXPECT_EQ(latcom.nfb, 100);
}

}  // namespace
