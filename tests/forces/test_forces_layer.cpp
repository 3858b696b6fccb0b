// The "forces" layer with its sigma_file and wake_file, the effective
// sub-bunch sizes and the force entry.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "forces/force.hpp"
#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "support/support.hpp"

namespace {

using bunch::forces;
using testsupport::pool_free;
using testsupport::write_file;

std::string rows(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += std::to_string(0.01 * i) + " 1e-3, 2e-3 3e-3\n";
    return s;
}

std::string wake(const std::string& head, int n) {
    std::string s = "! a wake\n!  computed for tests\n" + head;
    for (int i = 0; i < n; ++i) s += std::to_string(i) + ".5 7\n";
    return s;
}

class ForcesLayer : public testsupport::Folder {};

TEST_F(ForcesLayer, Blocks) {
    struct Case {
        const char* name;
        std::string body;
        std::string sig;   // contents of "sig.dat" ("" = none)
        std::string wk;    // contents of "wake.dat" ("" = none)
        bool ok;
        std::vector<std::string> log;
        std::function<void()> check;
    };
    const std::string fail = " error in force", at = "   at tarvel.in line 1",
                      images = " error: shield_max/shield too large, more plate images than 1000";
    const Case cases[] = {
        {"none with a file size: nothing examined", "{ type = none sigma_long = file sigma_file = sig.dat }", "",
         "", true, {},
         [] {
             EXPECT_EQ(forces.itype, 0);
             EXPECT_FALSE(forces.lsgfil);
             EXPECT_FALSE(forces.lfill);
         }},
        {"projected needs sigma_long", "{ type = projected }", "", "", false,
         {" the forces block gives no sigma_long (file, relative or a length > 0)", at, fail}, [] {}},
        {"no type", "{ sigma_long = 1e-3 }", "", "", false,
         {" the forces block gives no type (the force model), tarvel.in line 1", fail}, [] {}},
        {"negative sigma_long", "{ type = csr_p_to_p sigma_long = -1e-3 }", "", "", false,
         {" sigma_long = '-1e-3' must be file, relative or a length > 0", at, fail}, [] {}},
        {"relative without its factor", "{ type = projected sigma_long = relative }", "", "", false,
         {" sigma_long = 'relative' needs relative_long (> 0 and <= 2)", at, fail}, [] {}},
        {"negative shield", "{ type = projected sigma_long = 1e-3 shield = -0.01 }", "", "", false,
         {" shield = '-0.01' must be a length >= 0 (0: no plates), tarvel.in line 1", fail}, [] {}},
        {"negative sigma_rad", "{ type = csr_p_to_m sigma_long = 1e-3 shape = ellipsoid sigma_rad = -2e-4 }",
         "", "", false, {" sigma_rad = '-2e-4' must be file or a length > 0, tarvel.in line 1", fail}, [] {}},
        {"zero sbox", "{ type = csr_g_to_m sigma_long = 1e-3 shape = ellipsoid sigma_rad = 2e-4 sbox = 0 }", "",
         "", false, {" sbox = '0' must be > 0, tarvel.in line 1", fail}, [] {}},
        {"par not a number", "{ type = none par2 = x }", "", "", false,
         {" par2 = 'x' is not a number, tarvel.in line 1", fail}, [] {}},
        {"missing sigma_file", "{ type = projected sigma_long = file sigma_file = nosuch.dat }", "", "", false,
         {" cannot open nosuch.dat for reading: No such file or directory",
          " sigma_file = 'nosuch.dat' cannot be opened, tarvel.in line 1", fail}, [] {}},
        {"relative_long 2.0 accepted", "{ type = projected sigma_long = relative relative_long = 2.0 }", "", "",
         true, {},
         [] {
             EXPECT_EQ(forces.itype, 1);
             EXPECT_TRUE(forces.lrell);
             EXPECT_EQ(forces.relative_long, 2.0);
             EXPECT_EQ(forces.shield, 0.0);
             EXPECT_EQ(forces.shield_max, 0.3);
         }},
        {"numeric sigma_long and shielding",
         "{ type = projected sigma_long = 1e-3 shield = 0.02 shield_max = 0.5 }", "", "", true, {},
         [] {
             EXPECT_FALSE(forces.lrell);
             EXPECT_EQ(forces.sigma_long, 1e-3);
             EXPECT_EQ(forces.shield, 0.02);
             EXPECT_EQ(forces.shield_max, 0.5);
         }},
        // plate images: the field library sums int(shield_max/shield) + 1,
        // the one-dimensional wake nint(shield_max/shield), at most 1000
        {"csr_p_to_p at 1000 plate images", "{ type = csr_p_to_p sigma_long = 1e-3 shield = 1e-3 shield_max = 0.9999 }",
         "", "", true, {}, [] {}},
        {"csr_p_to_p beyond 1000 plate images",
         "{ type = csr_p_to_p sigma_long = 1e-3 shield = 1e-3 shield_max = 1.0005 }", "", "", false,
         {" shield_max = '1.0005' with shield = '1e-3' gives 1001 plate images on a side", at, images, fail},
         [] {}},
        {"projected at 1000 plate images", "{ type = projected sigma_long = 1e-3 shield = 1e-3 shield_max = 1.0004 }",
         "", "", true, {}, [] {}},
        {"projected beyond 1000 plate images",
         "{ type = projected sigma_long = 1e-3 shield = 1e-300 shield_max = 0.3 }", "", "", false,
         {" shield_max = '0.3' with shield = '1e-300' gives 3e+299 plate images on a side", at, images, fail},
         [] {}},
        {"ellipsoid without sizes is a sphere, sbox ignored",
         "{ type = csr_g_to_m sigma_long = 1e-3 shape = ellipsoid sbox = 5.0 }", "", "", true, {},
         [] {
             EXPECT_EQ(forces.ishape, 2);
             EXPECT_EQ(forces.sbox, 0.5);
             EXPECT_EQ(forces.rintmi, 1e-9);
             EXPECT_TRUE(forces.loldms);
         }},
        {"file size without sigma_file", "{ type = projected sigma_long = file }", "", "", false,
         {" a sub-bunch size is 'file' but the forces block gives no sigma_file", at,
          " file with subbunch properties is not specified", fail},
         [] {}},
        {"sigma_file of 2001 rows", "{ type = projected sigma_long = file sigma_file = sig.dat }", rows(2001), "",
         false,
         {" read subbunch properties", " sigma_file = 'sig.dat' holds more than 2000 rows, tarvel.in line 1",
          " too many points in file: increase matist", fail},
         [] {}},
        {"equal c*t rows, zero unused radial size",
         "{ type = projected sigma_long = file sigma_file = sig.dat }", "0 1e-3 0 0\n0 2e-3 0 0\n1 3e-3\n 0 0\n", "",
         true, {" read subbunch properties"}, [] { EXPECT_EQ(forces.nsgfil, 3); }},
        {"zero used size", "{ type = csr_p_to_p sigma_long = file shape = ellipsoid sigma_rad = file "
                           "sigma_file = sig.dat }",
         "0 1 1 1\n1 1 0 1\n", "", false,
         {" read subbunch properties", " sigma_file = 'sig.dat' row 2: a size taken from the file is not > 0", at,
          " file with nonepositive subbunch length", fail},
         [] {}},
        {"last row cut short", "{ type = projected sigma_long = file sigma_file = sig.dat }", "0 1 1 1\n1 1\n", "",
         false, {" read subbunch properties", " sigma_file = 'sig.dat' row 2 is not four numbers, tarvel.in line 1", fail},
         [] {}},
        {"wake at the exact limits", "{ type = none wake_file = wake.dat }", "",
         wake("0.25 sigma\n0.125\n-6\n6\n", 13), true,
         {" read wakefile: wake.dat", " ! a wake", " !  computed for tests"},
         [] {
             EXPECT_TRUE(forces.lwake);
             EXPECT_EQ(forces.sigwak, 0.25);
             EXPECT_EQ(forces.stpwak, 0.125);
             EXPECT_EQ(forces.n1wak, -6);
             EXPECT_EQ(forces.n2wak, 6);
             EXPECT_EQ(forces.wakdat(1), 0.5);
             EXPECT_EQ(forces.wakdat(13), 12.5);
         }},
        {"sigwak 0", "{ type = none wake_file = wake.dat }", "", wake("0\n0.125\n-6\n6\n", 13), false,
         {" read wakefile: wake.dat", " ! a wake", " !  computed for tests",
          " wake_file = 'wake.dat' record 3: sigwak '0' must be > 0", at, " error in wake file: ??? sigwak.le.0",
          fail},
         [] {}},
        {"n2wak too low: the line of the forces layer alone", "{ type = none wake_file = wake.dat }", "",
         wake("0.25\n0.125\n-6\n5\n", 12), false,
         {" read wakefile: wake.dat", " ! a wake", " !  computed for tests",
          " wake_file = 'wake.dat' record 6: n2wak*stpwak = 0.625 m must be >= 3 sigwak = 0.75 m", at, fail},
         [] {}},
        {"wake ends short of its samples", "{ type = none wake_file = wake.dat }", "",
         wake("0.25\n0.125\n-6\n6\n", 10), false,
         {" read wakefile: wake.dat", " ! a wake", " !  computed for tests",
          " wake_file = 'wake.dat' ends after 10 of its 13 samples, tarvel.in line 1",
          " error in wake file: ??? data array", fail},
         [] {}},
        {"sample count beyond 32 bits", "{ type = none wake_file = wake.dat }", "",
         wake("0.25\n1\n-2147483000\n2147483000\n", 0), false,
         {" read wakefile: wake.dat", " ! a wake", " !  computed for tests",
          " wake_file = 'wake.dat' n1wak to n2wak make 4294966001 samples, at most 50000", at,
          " error in wake file: ??? n2wak-n1wak+1.>.narcsr", fail},
         [] {}},
        {"par values", "{ type = none par1 = 1.5 par5 = -2 }", "", "", true, {},
         [] {
             EXPECT_EQ(forces.par1, 1.5);
             EXPECT_EQ(forces.par2, 0.0);
             EXPECT_EQ(forces.par5, -2.0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (!c.sig.empty()) write_file("sig.dat", c.sig);
        if (!c.wk.empty()) write_file("wake.dat", c.wk);
        std::int32_t ierr = 0;
        auto log = layer(forces::lyforc, "forces " + c.body + "\n", ierr);
        EXPECT_EQ(ierr == 0, c.ok);
        EXPECT_EQ(log, c.log);
        EXPECT_TRUE(pool_free()) << "a file of the layer was left open";
        c.check();
    }
}

// Effective sub-bunch sizes from the table, the bunch's rms sizes or the
// stored values.
TEST_F(ForcesLayer, SubBunchSizes) {
    // bunch of two particles 2 mm apart along the motion and 1 mm apart
    // vertically: rms length 1 mm, rms height 0.5 mm
    testsupport::line_bunch(2, 0.0, 100.0, 2e-3);
    bunch::prtcls.xptcl(3, 2) = 1e-3;
    const double* xp = bunch::prtcls.xptcl.data();
    forces.nsgfil = 4;
    const double table[4][4] = {{1.0, 1e-3, 2e-3, 3e-3}, {2.0, 3e-3, 4e-3, 5e-3}, {2.0, 5e-3, 6e-3, 7e-3},
                                {3.0, 7e-3, 8e-3, 9e-3}};
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 4; ++k) forces.sigfil(k, i) = table[i - 1][k - 1];
    struct Case {
        const char* name;
        std::function<void()> set;
        int itype;
        double ct;
        bool ok;
        double sl, sr, sv;
    };
    auto fileall = [] {
        forces.ishape = 3;
        forces.lfill = forces.lfilr = forces.lfilv = true;
    };
    const Case cases[] = {
        {"before the first row", fileall, 4, 0.5, true, 1e-3, 2e-3, 3e-3},
        {"after the last row", fileall, 4, 3.5, true, 7e-3, 8e-3, 9e-3},
        {"between rows", fileall, 4, 1.25, true, 1.5e-3, 2.5e-3, 3.5e-3},
        {"on a doubled c*t: the earlier row", fileall, 4, 2.0, true, 3e-3, 4e-3, 5e-3},
        {"relative longitudinal size, sphere",
         [] {
             forces.ishape = 2;
             forces.lrell = true;
             forces.relative_long = 0.5;
         },
         2, 0.0, true, 0.5e-3, 0.5e-3, 0.5e-3},
        {"projected keeps the stored transverse sizes",
         [] {
             forces.lrell = false;
             forces.sigma_long = 2e-3;
             forces.sigma_rad = 7.0;
             forces.sigma_vert = 8.0;
         },
         1, 0.0, true, 2e-3, 7.0, 8.0},
        {"ellipsoid: radial follows, vertical relative",
         [] {
             forces.ishape = 3;
             forces.sigma_long = 2e-3;
             forces.lradl = true;
             forces.lrelv = true;
             forces.relative_vert = 2.0;
         },
         5, 0.0, true, 2e-3, 2e-3, 1e-3},
        {"relative size of a bunch without length fails",
         [] {
             forces.lrell = true;
             forces.relative_long = 1.0;
             bunch::prtcls.xptcl(1, 2) = 0.0;
         },
         1, 0.0, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        forces.sigma_long = forces.sigma_rad = forces.sigma_vert = -1.0;
        forces.lfill = forces.lfilr = forces.lfilv = false;
        forces.lrell = forces.lradl = forces.lrelv = false;
        c.set();
        testing::internal::CaptureStdout();
        std::int32_t ierr = 0;
        forces::frcsub({xp, bunch::prtcls.npart}, c.ct, static_cast<bunch::ForceType>(c.itype), ierr);
        auto log = testsupport::lines_of(testing::internal::GetCapturedStdout());
        EXPECT_EQ(ierr == 0, c.ok);
        if (c.ok) {
            EXPECT_TRUE(log.empty());
            EXPECT_NEAR(forces.sigma_long, c.sl, 1e-15);
            EXPECT_NEAR(forces.sigma_rad, c.sr, 1e-15);
            EXPECT_NEAR(forces.sigma_vert, c.sv, 1e-15);
        } else {
            EXPECT_EQ(log, std::vector<std::string>{" error in frcsub (sub-bunch dimensions)"});
        }
    }
}

// The force entry: "none" gives zero forces; "projected" counts the call and
// runs the projected model (here without a lattice: its failure gives zero
// forces and both lines); a model this build does not evaluate counts the
// call and reports it.
TEST_F(ForcesLayer, ForceEntry) {
    testsupport::line_bunch(3, 0.0, 100.0, 1e-3);
    static ftypes::Arr2<double, 3, 3> f;
    auto fill = [] {
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) f(k, j) = 5.0;
    };
    auto zero = [] {
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) EXPECT_EQ(f(k, j), 0.0);
    };
    fill();
    std::int32_t ierr = 7;
    auto& b = bunch::prtcls;
    auto entry = [&](bunch::ForceType t) {
        testing::internal::CaptureStdout();
        forces::forcei(t, foundation::particles(b.xptcl, 3), foundation::indices(b.iptcl, 3), 0.0,
                       foundation::forces_of(f, 3), ierr);
        return testsupport::lines_of(testing::internal::GetCapturedStdout());
    };
    EXPECT_TRUE(entry(bunch::ForceType::none).empty());
    EXPECT_EQ(ierr, 0);
    zero();

    forces.sigma_long = 1e-3;
    forces.lrell = forces.lfill = forces.lfilr = forces.lfilv = false;
    fill();
    auto log = entry(bunch::ForceType::projected);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(forces.nfcall(1), 1);
    EXPECT_EQ(log, (std::vector<std::string>{" error in force1: the lattice has no field boundary",
                                             " error in force1", " error in forcei"}));
    zero();

    forces.ishape = 2;  // sphere: the three sizes follow sigma_long
    for (const bunch::ForceModel& m : bunch::force_models) {
        if (m.built) continue;
        SCOPED_TRACE(std::string(m.word));
        log = entry(m.type);
        EXPECT_NE(ierr, 0);
        EXPECT_EQ(forces.nfcall(bunch::code(m.type)), 1);
        EXPECT_EQ(log, (std::vector<std::string>{" error: force type '" + std::string(m.word) + "' is not available",
                                                 " error in forcei"}));
    }
}

}  // namespace
