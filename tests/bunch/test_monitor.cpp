// The path coordinates and forces of the "fmt3" monitor file against their
// closed forms (the deck tests check the layouts, refusals and round trips).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "bunch/forces.hpp"
#include "foundation/fortran_format.hpp"
#include "support/support.hpp"

namespace {

using bunch::prtcls;
using testsupport::lines_of;
using testsupport::read_file;

using testsupport::pi;

class Monitor : public testsupport::Folder {
protected:
    // Sets a bunch of n particles directly (lab frame).
    static void set_bunch(const std::vector<std::array<double, 7>>& recs) {
        prtcls.npart = static_cast<int>(recs.size());
        for (int i = 1; i <= prtcls.npart; ++i) {
            for (int k = 1; k <= 7; ++k) prtcls.xptcl(k, i) = recs[i - 1][k - 1];
            prtcls.ldef(i) = true;
            prtcls.lact(i) = recs[i - 1][6] != 0.0;
            prtcls.iptcl(1, i) = 1;
            prtcls.iptcl(2, i) = 0;
        }
    }
};

std::vector<double> numbers(const std::string& rec) {
    std::vector<double> v;
    for (const auto& t : foundation::split_record(rec)) {
        double x = 0;
        EXPECT_EQ(foundation::read_real(t, x), 0) << t;
        v.push_back(x);
    }
    return v;
}

TEST_F(Monitor, PathCoordinatesOfFmt3) {
    // boundary 1 at the origin heading +x; a quarter arc of radius 1 turning
    // clockwise ends at boundary 2 (1,-1) heading -y; boundary 3 2 m further
    auto& L = lattice::latcom;
    L.nfb = 3;
    const double fb[3][8] = {{0, 0, 1, 0, 0, 1, 0, 0},
                             {1, -1, 0, -1, 1, 0, pi / 2, 1.0},
                             {1, -3, 0, -1, 1, 0, pi / 2 + 2, 0.0}};
    for (int i = 1; i <= 3; ++i)
        for (int k = 1; k <= 8; ++k) L.fb(k, i) = fb[i - 1][k - 1];
    // particle 1 at angle 0.3 on the arc, 0.01 outside; particle 2 at angle
    // 0.5, 0.02 inside, moving along the arc; particle 3 before boundary 1;
    // particle 4 on the straight after boundary 2
    const double b1 = 0.3, b2 = 0.5;
    const double r1 = 1.01, r2 = 0.98;
    set_bunch({{r1 * std::sin(b1), -1 + r1 * std::cos(b1), 0.001, 2.0, -b1, 0.0, 1e-9},
               {r2 * std::sin(b2), -1 + r2 * std::cos(b2), 0.0, 3.0, -b2 + 0.01, 0.02, 1e-9},
               {-0.5, 0.1, 0.0, 2.0, 0.0, 0.0, 0.0},
               {1.03, -2.0, 0.0, 2.0, -pi / 2, 0.0, 1e-9}});
    for (int i : {1, 2}) prtcls.iptcl(1, i) = 2;
    prtcls.iptcl(1, 3) = 1;
    prtcls.iptcl(1, 4) = 3;
    prtcls.p0 = 2.0;
    prtcls.ctptcl = 1.5;
    bunch::forcs2.ctfk = 1.5;  // forces of this very time are stored
    bunch::forcs2.fk(1, 2) = 2 * foundation::force_scale, bunch::forcs2.fk(2, 2) = -3 * foundation::force_scale;
    bunch::forces.sigma_long = 1e-4;
    std::int32_t ierr = 0;
    testsupport::start_capture();
    bunch::monito("p3.dat", 3, ierr);
    testsupport::end_capture();
    ASSERT_EQ(ierr, 0);
    const auto recs = lines_of(read_file("p3.dat"));
    ASSERT_EQ(recs.size(), 5u);
    const auto h = numbers(recs[0]);
    EXPECT_DOUBLE_EQ(h[0], 1.5);
    EXPECT_NEAR(h[1], std::sqrt(5.0), 1e-13);
    EXPECT_NEAR(h[7], 1e-4, 1e-18);
    const double g0 = std::sqrt(5.0);
    const double want[4][6] = {  // h, h', z, z', s - s1, gamma/gamma0 - 1
        {0.01, 0.0, 0.001, 0.0, 0.0, 0.0},
        {-0.02, std::tan(0.01), 0.0, std::tan(0.02) / std::cos(0.01), b2 - b1,
         std::sqrt(10.0) / g0 - 1},
        {0.1, 0.0, 0.0, 0.0, -0.5 - b1, 0.0},
        {0.03, 0.0, 0.0, 0.0, pi / 2 + 1 - b1, 0.0},
    };
    for (int i = 0; i < 4; ++i) {
        const auto v = numbers(recs[i + 1]);
        ASSERT_EQ(v.size(), 12u);
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(v[k], want[i][k], 1e-12) << "particle " << i + 1 << " field " << k + 1;
    }
    EXPECT_NEAR(numbers(recs[2])[7], 2.0, 1e-12) << "force in eV/m";
    EXPECT_NEAR(numbers(recs[2])[8], -3.0, 1e-12);
    EXPECT_EQ(recs[3].substr(recs[3].size() - 4), " 0 1") << "inactive, defined";
    // forces of another time are not shown
    bunch::forcs2.ctfk = 1.0;
    testsupport::start_capture();
    bunch::monito("p3b.dat", 3, ierr);
    testsupport::end_capture();
    EXPECT_EQ(numbers(lines_of(read_file("p3b.dat"))[2])[7], 0.0);
    EXPECT_EQ(numbers(lines_of(read_file("p3b.dat"))[0])[7], 0.0);
}

}  // namespace
