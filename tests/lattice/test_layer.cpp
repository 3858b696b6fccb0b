// The "lattice" layer read from small deck texts: element data, section
// codes, standard-output lines, every failure cascade, "latout.dat".
#include <cmath>
#include <string>
#include <vector>

#include "support/support.hpp"

namespace {

class LatticeFolder : public testsupport::Folder {};
using lattice::latcom;
using lattice::latmks;
using Lines = std::vector<std::string>;

using testsupport::pi;

// A small lattice with one element of every kind: the deck of the
// end-to-end test, with its hand-checked "latout.dat".
const std::string mixed_dir = std::string(LATTICE_DECK_DIR) + "/mixed";

TEST_F(LatticeFolder, MixedLatticeRecordsAndOutput) {
    Lines out;
    ASSERT_EQ(run_layer(testsupport::read_file(mixed_dir + "/tarvel.in"), out), 0);
    const double s3 = std::sqrt(3.0);
    const Lines expect = {
        " section 1  length= 1.0471975511965974E+00",
        " section 2  length= 5.0000000000000000E-01",
        " section 3  length= 2.0000000000000018E-01",
        " section 4  length= 2.9999999999999982E-01",
        " section 5  length= 2.5000000000000000E-01",
        " end of lattice definition",
    };
    EXPECT_EQ(out, expect);
    ASSERT_EQ(latcom.nfb, 6);
    // dipole exit: 30 degree arc of radius 2 from (1, 0) along +x
    const double ex = 2.0, ey = -(2.0 - s3), tx = s3 / 2, ty = -0.5;
    EXPECT_NEAR(latcom.fb(1, 2), ex, 1e-15);
    EXPECT_NEAR(latcom.fb(2, 2), ey, 1e-15);
    EXPECT_NEAR(latcom.fb(3, 2), tx, 1e-15);
    EXPECT_NEAR(latcom.fb(4, 2), ty, 1e-15);
    EXPECT_EQ(latcom.fb(8, 2), 2.0);
    // straight on along the exit tangent; path lengths add up
    const double s[] = {1.0, 1.0 + pi / 3, 1.5 + pi / 3, 1.7 + pi / 3, 2.0 + pi / 3, 2.25 + pi / 3};
    const double along[] = {0.0, 0.0, 0.5, 0.7, 1.0, 1.25};
    for (int i = 2; i <= 6; ++i) {
        EXPECT_NEAR(latcom.fb(1, i), ex + along[i - 1] * tx, 1e-14) << i;
        EXPECT_NEAR(latcom.fb(2, i), ey + along[i - 1] * ty, 1e-14) << i;
        EXPECT_NEAR(latcom.fb(5, i), tx, 1e-15) << i;
        EXPECT_NEAR(latcom.fb(6, i), ty, 1e-15) << i;
    }
    for (int i = 1; i <= 6; ++i) EXPECT_NEAR(latcom.fb(7, i), s[i - 1], 1e-14) << i;
    // section codes (thick/thin, field code, nila, nrla)
    const int isect[6][4] = {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0},
                             {1, 1, 1, 4}, {0, 1, 1, 36}, {0, 2, 3, 37}};
    for (int i = 1; i <= 6; ++i)
        for (int k = 1; k <= 4; ++k) EXPECT_EQ(latcom.isect(k, i), isect[i - 1][k - 1]) << i << "," << k;
    EXPECT_EQ(latcom.nila, 3);
    EXPECT_EQ(latcom.nrla, 37);
    // quadrupole: order 2 and (h, v, strength, alpha in radians)
    EXPECT_EQ(latcom.ila(1), 2);
    EXPECT_EQ(latcom.rla(1), 0.001);
    EXPECT_EQ(latcom.rla(2), -0.002);
    EXPECT_EQ(latcom.rla(3), 1.5);
    EXPECT_DOUBLE_EQ(latcom.rla(4), pi / 2);
    // discrete_free lists
    EXPECT_EQ(latcom.ila(2), 4);
    EXPECT_EQ(latcom.ila(3), 5);
    EXPECT_EQ(latcom.rla(37), 3.5);
    // markers and duty flags (thick elements default to duty)
    const char* marks[] = {"d1in", "d1out", "undefined", "undefined", "tq", "undefined"};
    const bool duty[] = {true, false, true, true, false, true};
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(latmks.fbmark(i).str(), marks[i - 1]) << i;
        EXPECT_EQ(bool(latcom.fbduty(i)), duty[i - 1]) << i;
    }
    EXPECT_FALSE(latcom.lfbok);
    // the summary file, checked against the hand-verified copy
    EXPECT_EQ(testsupport::read_file("latout.dat"),
              testsupport::read_file(mixed_dir + "/expected_latout.dat"));
}

// Degrees from the deck: boundary angles as value / 180 * pi, the multipole
// rotation as alpha * pi / 180 (the two orders differ in the last bit for
// 17, 33 and 34 degrees).
TEST_F(LatticeFolder, AngleConversionsFromDegrees) {
    for (double a : {17.0, 33.0, 34.0, -41.0, 60.0}) {
        SCOPED_TRACE(a);
        run::reset_state();
        const std::string d = std::to_string(a);
        Lines out;
        ASSERT_EQ(run_layer("lattice { quadrupole { position { rho = 1 psi = " + d +
                                " } properties { alpha = " + d +
                                " } position { delta_s = 1 delta_psi = " + d + " } } }\n",
                            out),
                  0);
        const double rad = a / 180.0 * pi;
        EXPECT_EQ(latcom.fb(5, 1), std::cos(rad));
        EXPECT_EQ(latcom.fb(6, 1), std::sin(rad));
        EXPECT_EQ(latcom.fb(5, 2), std::cos(rad));  // the tangent (1, 0) turned by delta_psi
        EXPECT_EQ(latcom.fb(6, 2), std::sin(rad));
        EXPECT_EQ(latcom.rla(4), a * pi / 180.0);
    }
}

TEST_F(LatticeFolder, ThinQuadrupoleMatrices) {
    Lines out;
    ASSERT_EQ(run_layer("lattice { thin_quadrupole { position { delta_s = 1 }\n"
                        " properties { effective_length = 0.5 quadrupole_k = 2.0 } } }\n",
                        out),
              0);
    ASSERT_EQ(latcom.nrla, 32);
    EXPECT_FALSE(latcom.fbduty(1));
    // M1 and M2, column by column, on (u, u', z, z')
    double m1[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    double m2[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    m1[1][0] = -1.0;  // M1(2,1) = -L k
    m1[3][2] = 1.0;   // M1(4,3) = +L k
    m2[0][1] = 1.0;   // M2(1,2)
    m2[2][3] = -1.0;  // M2(3,4)
    for (int l = 0; l < 4; ++l)
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(latcom.rla(1 + k + 4 * l), m1[k][l]) << k << l;
            EXPECT_EQ(latcom.rla(17 + k + 4 * l), m2[k][l]) << k << l;
        }
    // M2 is the inverse transpose of M1
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += m1[k][i] * m2[k][j];
            EXPECT_EQ(sum, i == j ? 1.0 : 0.0);
        }
    EXPECT_EQ(latcom.isect(1, 1), 0);
    EXPECT_EQ(latcom.isect(2, 1), 1);
    EXPECT_EQ(latcom.isect(3, 1), 0);
    EXPECT_EQ(latcom.isect(4, 1), 32);
}

TEST_F(LatticeFolder, HundredAndFirstBoundaryRefused) {
    std::string deck = "lattice {\n";
    for (int k = 1; k <= 101; ++k) deck += " dipole { position { delta_s = 0.1 } }\n";
    deck += "}\n";
    Lines out;
    EXPECT_NE(run_layer(deck, out), 0);
    EXPECT_EQ(out, (Lines{" a lattice holds at most 100 field boundaries, tarvel.in line 102",
                          " error in position: increase maxlat (latcom)", " error in dipole/multipole",
                          " error in lattice"}));
    EXPECT_EQ(latcom.nfb, 100);
}

}  // namespace
