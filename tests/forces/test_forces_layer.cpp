// The "forces" layer with its sigma_file and wake_file, the effective
// sub-bunch sizes and the force entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forces/force.hpp"
#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "parallel/process.hpp"
#include "support/support.hpp"

namespace {

using bunch::force_settings;
using testsupport::pool_free;
using testsupport::write_file;

std::string rows(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += std::to_string(0.01 * i) + " 1e-3, 2e-3 3e-3\n";
    return s;
}

// A wake_file with two comment records, the four header values and n samples.
std::string wake(const std::string& head, int n) {
    std::string s = "! a wake\n!  computed for tests\n" + head;
    for (int i = 0; i < n; ++i) s += std::to_string(i) + ".5 7\n";
    return s;
}

class ForcesLayer : public testsupport::Folder {};

// (A negative sigma_rad, a sigma_file that cannot be opened and a wake_file
// cut short are the decks bad_negative_size, bad_missing_sigma_file and
// bad_short_wake.)
TEST_F(ForcesLayer, Blocks) {
    struct Case {
        const char* name;
        std::string body;
        std::string sig, wk;  // contents of "sig.dat" and "wake.dat" ("" = none)
        bool ok;
        std::vector<std::string> log;  // after the wake_file's three lines when wk is given
        std::function<void()> check = [] {};
    };
    const std::string fail = " error in force", at = "   at tarvel.in line 1",
                      images = " error: shield_max/shield too large, more plate images than 1000";
    const Case cases[] = {
        {"none with a file size: nothing read, said", "{ type = none sigma_long = file sigma_file = sig.dat }", "", "",
         true,
         {" warning: sigma_long has no effect with type = none (no self-force)",
          " warning: sigma_file has no effect with type = none (no self-force)"},
         [] { EXPECT_TRUE(force_settings.itype == 0 && !force_settings.lsgfil && !force_settings.lfill); }},
        {"projected needs sigma_long", "{ type = projected }", "", "", false,
         {" the forces block gives no sigma_long (file, relative or a length > 0)", at, fail}},
        {"no type", "{ sigma_long = 1e-3 }", "", "", false,
         {" the forces block gives no type (the force model), tarvel.in line 1", fail}},
        {"negative sigma_long", "{ type = csr_p_to_p sigma_long = -1e-3 }", "", "", false,
         {" sigma_long = '-1e-3' must be file, relative or a length > 0", at, fail}},
        {"zero sigma_long", "{ type = projected sigma_long = 0 }", "", "", false,
         {" sigma_long = '0' must be file, relative or a length > 0", at, fail}},
        {"relative without its factor", "{ type = projected sigma_long = relative }", "", "", false,
         {" sigma_long = 'relative' needs relative_long (> 0 and <= 2)", at, fail}},
        {"negative shield", "{ type = projected sigma_long = 1e-3 shield = -0.01 }", "", "", false,
         {" shield = '-0.01' must be a length >= 0 (0: no plates), tarvel.in line 1", fail}},
        {"zero green_work_max", "{ type = csr_g_to_p sigma_long = 1e-3 green_work_max = 0 }", "", "", false,
         {" green_work_max = '0' must be > 0 (field calls), tarvel.in line 1", fail}},
        {"green_work_max by default an hour of every process", "{ type = csr_g_to_m sigma_long = 1e-3 }", "", "",
         true, {}, [] { EXPECT_EQ(force_settings.green_work_max, 4e8 * std::max(parallel::cmpcom.nprocs, 1)); }},
        {"par not a number", "{ type = none par2 = x }", "", "", false, {" par2 = 'x' is not a number, tarvel.in line 1", fail}},
        {"relative_long 2.0 accepted", "{ type = projected sigma_long = relative relative_long = 2.0 }", "", "", true,
         {}, [] { EXPECT_TRUE(force_settings.itype == 1 && force_settings.lrell && force_settings.relative_long == 2.0); }},
        // plate images: the field library sums int(shield_max/shield) + 1,
        // the one-dimensional wake nint(shield_max/shield), at most 1000
        {"csr_p_to_p at 1000 plate images", "{ type = csr_p_to_p sigma_long = 1e-3 shield = 1e-3 shield_max = 0.9999 }",
         "", "", true, {}},
        {"csr_p_to_p beyond 1000 plate images",
         "{ type = csr_p_to_p sigma_long = 1e-3 shield = 1e-3 shield_max = 1.0005 }", "", "", false,
         {" shield_max = '1.0005' with shield = '1e-3' gives 1001 plate images on a side", at, images, fail}},
        {"projected at 1000 plate images", "{ type = projected sigma_long = 1e-3 shield = 1e-3 shield_max = 1.0004 }",
         "", "", true, {}},
        {"projected beyond any integer count of images",
         "{ type = projected sigma_long = 1e-3 shield = 1e-300 shield_max = 0.3 }", "", "", false,
         {" shield_max = '0.3' with shield = '1e-300' gives 3e+299 plate images on a side", at, images, fail}},
        {"ellipsoid without sizes is a sphere, sbox ignored and said",
         "{ type = csr_g_to_m sigma_long = 1e-3 shape = ellipsoid sbox = 5.0 }", "", "", true,
         {" warning: shape = ellipsoid has no effect without sigma_rad or sigma_vert",
          "   (a sphere of sigma_long)", " warning: sbox has no effect with the sphere (boxes need an ellipsoid)"},
         [] { EXPECT_TRUE(force_settings.ishape == 2 && force_settings.sbox == 0.5 && force_settings.rintmi == 1e-9 && force_settings.loldms); }},
        {"zero sbox", "{ type = csr_g_to_m sigma_long = 1e-3 shape = ellipsoid sigma_rad = 2e-4 sbox = 0 }", "", "",
         false, {" sbox = '0' must be > 0, tarvel.in line 1", fail}},
        {"zero rbox", "{ type = csr_p_to_m sigma_long = 1e-3 shape = ellipsoid sigma_rad = 2e-4 rbox = 0 }", "", "",
         false, {" rbox = '0' must be > 0, tarvel.in line 1", fail}},
        {"an invalid box key with the sphere: refused all the same",
         "{ type = csr_g_to_m sigma_long = 1e-3 rbox = -1 }", "", "", false,
         {" rbox = '-1' must be > 0, tarvel.in line 1", fail}},
        {"boxes of a model without boxes: said",
         "{ type = csr_p_to_p sigma_long = 1e-3 shape = ellipsoid sigma_rad = 2e-4 rbox = 0.4 }", "", "", true,
         {" warning: rbox has no effect with type = csr_p_to_p (no boxes)"}},
        {"par4 under a model without the projected wake: said",
         "{ type = csr_p_to_m sigma_long = 1e-3 par4 = 0.5 }", "", "", true,
         {" warning: par4 has no effect with type = csr_p_to_m (projected only)"}},
        {"par5 without a wake_file: said", "{ type = projected sigma_long = 1e-3 par5 = 0.5 }", "", "", true,
         {" warning: par5 has no effect without a wake_file"}},
        {"file size without sigma_file", "{ type = projected sigma_long = file }", "", "", false,
         {" a sub-bunch size is 'file' but the forces block gives no sigma_file", at,
          " file with subbunch properties is not specified", fail}},
        {"sigma_file of 2001 rows", "{ type = projected sigma_long = file sigma_file = sig.dat }", rows(2001), "",
         false, {" read subbunch properties", " sigma_file = 'sig.dat' holds more than 2000 rows, tarvel.in line 1",
                 " too many points in file: increase matist", fail}},
        {"equal c*t rows, zero unused radial size, a blank record",
         "{ type = projected sigma_long = file sigma_file = sig.dat }", "0 1e-3 0 0\n0 2e-3 0 0\n\n1, 3e-3, 0 0\n", "",
         true, {" read subbunch properties"}, [] { EXPECT_EQ(force_settings.nsgfil, 3); }},
        // a record of three values is never read on into the next one
        {"a record of three values", "{ type = csr_p_to_p sigma_long = file sigma_file = sig.dat }",
         "0 1e-3 1e-4 1e-4\n1 1e-3 1e-4\n2 1e-3 1e-4 1e-4\n", "", false,
         {" read subbunch properties",
          " sigma_file = 'sig.dat' record 2 holds 3 values, not 4 (c*t and three sizes)", at, fail}},
        {"zero used size",
         "{ type = csr_p_to_p sigma_long = file shape = ellipsoid sigma_rad = file sigma_file = sig.dat }",
         "0 1 1 1\n1 1 0 1\n", "", false,
         {" read subbunch properties", " sigma_file = 'sig.dat' record 2: a size taken from the file is not > 0", at,
          " file with nonepositive subbunch length", fail}},
        // comments as in the deck: from a word that begins with "!"
        {"comments", "{ type = projected sigma_long = file sigma_file = sig.dat }",
         "! c*t  long. rad. vert.\n0 1e-3 0 0 ! first row\n   !\n1, 2e-3, 0 0 !x y z\n", "", true,
         {" read subbunch properties"}, [] { EXPECT_TRUE(force_settings.nsgfil == 2 && force_settings.sigfil(2, 2) == 2e-3); }},
        {"last row cut short", "{ type = projected sigma_long = file sigma_file = sig.dat }", "0 1 1 1\n1 x 1 1\n", "",
         false, {" read subbunch properties", " sigma_file = 'sig.dat' record 2: 'x' is not a number, tarvel.in line 1",
                 fail}},
        {"wake at the exact limits, said to have no effect", "{ type = none wake_file = wake.dat }", "",
         wake("0.25 sigma\n0.125\n-6\n6\n", 13), true,
         {" warning: wake_file has no effect with type = none (projected only)"}, [] {
             EXPECT_TRUE(force_settings.lwake && force_settings.sigwak == 0.25 && force_settings.stpwak == 0.125);
             EXPECT_TRUE(force_settings.n1wak == -6 && force_settings.n2wak == 6);
             EXPECT_TRUE(force_settings.wakdat(1) == 0.5 && force_settings.wakdat(13) == 12.5);
         }},
        {"wake_file under a Green's-function model: its preconditioning alone",
         "{ type = csr_g_to_m sigma_long = 1e-3 wake_file = wake.dat }", "", wake("0.25\n0.125\n-6\n6\n", 13), true,
         {" warning: wake_file acts in csr_g_to_m only through its projected",
          "   preconditioning (track_step precondition = yes)"}},
        {"a sample that would overflow the convolution", "{ type = projected sigma_long = 1e-3 wake_file = wake.dat }",
         "", wake("0.25\n0.125\n-6\n6\n", 12) + "1e300\n", false,
         {" wake_file = 'wake.dat' sample 13 of 13 = 1e+300 V/m per C is beyond 1e+100", at, fail}},
        {"sigwak 0", "{ type = none wake_file = wake.dat }", "", wake("0\n0.125\n-6\n6\n", 13), false,
         {" wake_file = 'wake.dat' record 3: sigwak '0' must be > 0", at, " error in wake file: ??? sigwak.le.0", fail}},
        {"n2wak too low: the line of the forces layer alone", "{ type = none wake_file = wake.dat }", "",
         wake("0.25\n0.125\n-6\n5\n", 12), false,
         {" wake_file = 'wake.dat' record 6: n2wak*stpwak = 0.625 m must be >= 3 sigwak = 0.75 m", at, fail}},
        {"sample count beyond 32 bits", "{ type = none wake_file = wake.dat }", "",
         wake("0.25\n1\n-2147483000\n2147483000\n", 0), false,
         {" wake_file = 'wake.dat' n1wak to n2wak make 4294966001 samples, at most 50000", at,
          " error in wake file: ??? n2wak-n1wak+1.>.narcsr", fail}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (!c.sig.empty()) write_file("sig.dat", c.sig);
        if (!c.wk.empty()) write_file("wake.dat", c.wk);
        std::vector<std::string> want = c.log;
        if (!c.wk.empty()) want.insert(want.begin(), {" read wakefile: wake.dat", " ! a wake", " !  computed for tests"});
        std::int32_t ierr = 0;
        EXPECT_EQ(layer(forces::lyforc, "forces " + c.body + "\n", ierr), want);
        EXPECT_EQ(ierr == 0, c.ok);
        EXPECT_TRUE(pool_free()) << "a file of the layer was left open";
        c.check();
    }
}

// The noise filter and the wake weights of an earlier forces layer carry
// over and are listed by a layer that does not give them.
TEST_F(ForcesLayer, CarriedOverSettingsListed) {
    std::int32_t ierr = 0;
    EXPECT_TRUE(layer(forces::lyforc, "forces { type = projected sigma_long = 1e-3 par1 = 1 par2 = 40 par4 = 0.5 }\n",
                      ierr)
                    .empty());
    EXPECT_EQ(layer(forces::lyforc, "forces { type = projected sigma_long = 1e-3 par2 = 20 }\n", ierr),
              (std::vector<std::string>{" par1 = 1 (noise filter switch) carried over from an earlier forces layer",
                                        " par4 = 0.5 (weight 1-par4 of the CSR wake) carried over from an earlier",
                                        "   forces layer"}));
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(force_settings.par1 == 1.0 && force_settings.par2 == 20.0 && force_settings.par4 == 0.5);
}

// Effective sub-bunch sizes from the table, the bunch's rms sizes or the
// stored values; a length of zero refused. (A relative size of a bunch
// without length: the deck frcsub_fails.)
TEST_F(ForcesLayer, SubBunchSizes) {
    // two particles 2 mm apart along the motion, 1 mm vertically: rms 1 mm and 0.5 mm
    testsupport::line_bunch(2, 0.0, 100.0, 2e-3);
    bunch::prtcls.xptcl(3, 2) = 1e-3;
    force_settings.nsgfil = 4;
    const double table[4][4] = {{1, 1e-3, 2e-3, 3e-3}, {2, 3e-3, 4e-3, 5e-3}, {2, 5e-3, 6e-3, 7e-3}, {3, 7e-3, 8e-3, 9e-3}};
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 4; ++k) force_settings.sigfil(k, i) = table[i - 1][k - 1];
    struct Case {
        const char* name;
        std::function<void()> set;
        int itype;
        double ct, sl, sr, sv;
        const char* refused = nullptr;  // the line before the refusal's own
    };
    auto fileall = [] {
        force_settings.ishape = 3;
        force_settings.lfill = force_settings.lfilr = force_settings.lfilv = true;
    };
    const Case cases[] = {
        {"before the first row", fileall, 4, 0.5, 1e-3, 2e-3, 3e-3},
        {"after the last row", fileall, 4, 3.5, 7e-3, 8e-3, 9e-3},
        {"between rows", fileall, 4, 1.25, 1.5e-3, 2.5e-3, 3.5e-3},
        {"on a doubled c*t: the earlier row", fileall, 4, 2.0, 3e-3, 4e-3, 5e-3},
        {"relative longitudinal size, sphere",
         [] { force_settings.ishape = 2, force_settings.lrell = true, force_settings.relative_long = 0.5; }, 2, 0.0, 0.5e-3, 0.5e-3, 0.5e-3},
        {"projected keeps the stored transverse sizes",
         [] { force_settings.sigma_long = 2e-3, force_settings.sigma_rad = 7.0, force_settings.sigma_vert = 8.0; }, 1, 0.0, 2e-3, 7.0, 8.0},
        {"ellipsoid: radial follows, vertical relative",
         [] {
             force_settings.ishape = 3, force_settings.sigma_long = 2e-3;
             force_settings.lradl = force_settings.lrelv = true, force_settings.relative_vert = 2.0;
         },
         5, 0.0, 2e-3, 2e-3, 1e-3},
        {"projected with a stored length of 0", [] { force_settings.sigma_long = 0.0; }, 1, 0.0, 0.0, -1.0, -1.0,
         " sigma_long = 0 m is not a length > 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        force_settings.sigma_long = force_settings.sigma_rad = force_settings.sigma_vert = -1.0;
        force_settings.lfill = force_settings.lfilr = force_settings.lfilv = force_settings.lrell = force_settings.lradl = force_settings.lrelv = false;
        c.set();
        const double given[3] = {force_settings.sigma_long, force_settings.sigma_rad, force_settings.sigma_vert};
        testsupport::start_capture();
        auto& b = bunch::prtcls;
        const std::optional<forces::SubBunchSizes> sz =
            forces::frcsub(forces::input_of(foundation::particles(b.xptcl, 2), foundation::indices(b.iptcl, 2)), c.ct,
                           static_cast<bunch::ForceType>(c.itype));
        std::vector<std::string> want;
        if (c.refused) want = {c.refused, " error in frcsub (sub-bunch dimensions)"};
        EXPECT_EQ(testsupport::end_capture(), want);
        ASSERT_EQ(sz.has_value(), c.refused == nullptr);
        if (sz) {
            EXPECT_NEAR(sz->sigma_long, c.sl, 1e-15);
            EXPECT_NEAR(sz->sigma_rad, c.sr, 1e-15);
            EXPECT_NEAR(sz->sigma_vert, c.sv, 1e-15);
        }
        // the settings keep the sizes as given
        EXPECT_TRUE(force_settings.sigma_long == given[0] && force_settings.sigma_rad == given[1] && force_settings.sigma_vert == given[2]);
    }
}

// The force entry: "none" gives zero forces; "projected" counts the call and
// runs the projected model, whose failures (without a lattice; a bunch it
// cannot place, the line naming the particle first) give zero forces and
// the lines of each level.
TEST_F(ForcesLayer, ForceEntry) {
    static ftypes::Arr2<double, 3, 3> f;
    auto& b = bunch::prtcls;
    const std::vector<std::string> model = {" error in force1", " error in forcei"};
    const struct {
        bunch::ForceType type;
        bool placed;  // a lattice, particle 2 not finite
        std::vector<std::string> log;
    } cases[] = {{bunch::ForceType::none, false, {}},
                 {bunch::ForceType::projected, false, {" error in force1: the lattice has no field boundary"}},
                 {bunch::ForceType::projected, true,
                  {" particle 2 at x= nan y= 0 m: a position that is not finite",
                   " error in force1: particle positions not finite"}}};
    for (const auto& c : cases) {
        reset();
        if (c.placed) testsupport::add_section(0.0, 1.0), testsupport::add_section(0.0, 2.0);
        testsupport::line_bunch(3, 0.0, 100.0, c.placed ? -1e-3 : 1e-3);
        if (c.placed) b.xptcl(1, 1) = 1.5, b.xptcl(1, 2) = std::nan("");
        force_settings.sigma_long = 1e-3;
        std::fill(f.data(), f.data() + 9, 5.0);
        std::int32_t ierr = 7;
        testsupport::start_capture();
        forces::forcei(testsupport::model_work(), c.type, foundation::particles(b.xptcl, 3), foundation::indices(b.iptcl, 3), 0.0,
                       foundation::forces_of(f, 3), ierr);
        std::vector<std::string> want = c.log;
        if (!want.empty()) want.insert(want.end(), model.begin(), model.end());
        EXPECT_EQ(testsupport::end_capture(), want);
        EXPECT_EQ(ierr, want.empty() ? 0 : 1);
        EXPECT_EQ(force_settings.nfcall(1), want.empty() ? 0 : 1);
        EXPECT_EQ(std::count(f.data(), f.data() + 9, 0.0), 9);
    }
}

// The sub-bunch sizes the monitors print: those a forces layer gives, then
// those of each evaluation that computed them ("projected" its sigma_long
// alone, the transverse sizes as they stand); a refused evaluation leaves
// them, and the settings keep the sizes as given.
TEST_F(ForcesLayer, SizesShownToTheMonitors) {
    std::int32_t ierr = 0;
    (void)layer(&forces::lyforc,
                "forces { type = csr_g_to_p sigma_long = 2e-3 shape = ellipsoid sigma_rad = 3e-3 sigma_vert = 4e-3 }",
                ierr);
    ASSERT_EQ(ierr, 0);
    const auto shown = [] {
        const bunch::SubBunchShown& s = bunch::moncom.subbunch;
        return std::vector<double>{s.sigma_long, s.sigma_rad, s.sigma_vert};
    };
    EXPECT_EQ(shown(), (std::vector<double>{2e-3, 3e-3, 4e-3}));
    testsupport::add_section(0.0, 1.0), testsupport::add_section(0.0, 2.0);
    testsupport::line_bunch(3, 0.0, 100.0, -1e-3);
    auto& b = bunch::prtcls;
    b.xptcl(1, 1) = 1.5;
    static ftypes::Arr2<double, 3, 3> f;
    const struct {
        double sigma_long;  // as the settings give it; 0 is refused
        std::vector<double> shown;
    } cases[] = {{1e-3, {1e-3, 3e-3, 4e-3}}, {0.0, {1e-3, 3e-3, 4e-3}}, {5e-4, {5e-4, 3e-3, 4e-3}}};
    for (const auto& c : cases) {
        force_settings.sigma_long = c.sigma_long;
        testsupport::start_capture();
        forces::forcei(testsupport::model_work(), bunch::ForceType::projected, foundation::particles(b.xptcl, 3),
                       foundation::indices(b.iptcl, 3), 0.0, foundation::forces_of(f, 3), ierr);
        (void)testsupport::end_capture();
        EXPECT_EQ(shown(), c.shown) << c.sigma_long;
        EXPECT_TRUE(force_settings.sigma_long == c.sigma_long && force_settings.sigma_rad == 3e-3 && force_settings.sigma_vert == 4e-3);
    }
}

}  // namespace
