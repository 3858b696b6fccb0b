// The "lattice" layer read from deck texts: angles in degrees and the
// boundary capacity (the deck tests check the records through "latout.dat").
#include <cmath>
#include <string>
#include <vector>

#include "support/support.hpp"

namespace {

class LatticeFolder : public testsupport::Folder {};
using lattice::latcom;
using testsupport::pi;

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
        EXPECT_EQ(latcom.fb(5, 1), std::cos(rad));
        EXPECT_EQ(latcom.fb(6, 1), std::sin(rad));
        EXPECT_EQ(latcom.fb(5, 2), std::cos(rad));  // the tangent (1, 0) turned by delta_psi
        EXPECT_EQ(latcom.fb(6, 2), std::sin(rad));
        EXPECT_EQ(latcom.rla(4), a * pi / 180.0);
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
