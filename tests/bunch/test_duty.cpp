// Duty steps: landings just before the first particle reaches a duty
// boundary and just after the last one has passed it, in a drift and at the
// entry and exit of a dipole; a bunch straddling the next duty boundary; a
// duty boundary that cannot be reached.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bunch/tracker.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/lattice.hpp"
#include "support/support.hpp"

namespace {

using bunch::tr3com;

// Appends a boundary ending a section of radius r and length ds.
void boundary(double r, double ds, bool duty) { ASSERT_NE(testsupport::add_section(r, ds, duty), 0); }

struct Landing {
    int iduty;  // the number on the duty line
    double ct;  // bunch time at that call
};

class Duty : public testsupport::Folder {
protected:
    // Force-free run from the bunch time to end as the time loop makes it;
    // returns the duty landings and the final bunch time.
    std::vector<Landing> run(double end, std::vector<std::string>* warnings = nullptr) {
        std::int32_t ierr = 0;
        std::int32_t inilat_ierr = 0;
        (void)inilat_ierr;
        testsupport::inila2(ierr);
        EXPECT_EQ(ierr, 0);
        bunch::trkcom.end_time_c0 = end;
        bunch::forces.itype = 0;
        std::vector<Landing> out;
        double ctnext = bunch::prtcls.ctptcl;
        ftypes::Logical reset = true, lstep = true;
        int guard = 0;
        do {
            double derr = 0.0;
            bunch::ttrack(ctnext, derr, ierr);
            EXPECT_EQ(ierr, 0);
            testing::internal::CaptureStdout();
            bunch::steper(ctnext, reset, lstep);
            auto log = testsupport::lines_of(testing::internal::GetCapturedStdout());
            for (const auto& l : log) {
                if (l.rfind("  --- duty -------------- ", 0) == 0) {
                    EXPECT_TRUE(tr3com.lduty);
                    out.push_back({std::stoi(l.substr(26)), bunch::prtcls.ctptcl});
                } else if (l.rfind(" warning", 0) == 0 && warnings) {
                    warnings->push_back(l);
                }
            }
            if (out.empty() || out.back().ct != bunch::prtcls.ctptcl) {
                EXPECT_FALSE(tr3com.lduty);
            }
        } while (lstep && ++guard < 10000);
        EXPECT_EQ(bunch::prtcls.ctptcl, end) << "the run ended before its end time";
        return out;
    }
};

// Three particles on the reference line, dx apart ahead of particle 1.
constexpr double dx = 1e-3;
constexpr double p = 100.0;
const double beta = p / std::sqrt(p * p + 1.0);

TEST_F(Duty, LandingsAtDipoleEntryAndExit) {
    boundary(0.0, 1.0, true);   // dipole entry
    boundary(10.0, 0.5, true);  // dipole exit
    boundary(0.0, 1.0, false);
    testsupport::line_bunch(3, 0.0, p, dx);
    auto landings = run(2.5);
    ASSERT_EQ(landings.size(), 4u);
    // the particles follow the reference line: crossing times from the path length
    const double ctmin1 = (1.0 - 2 * dx) / beta, ctmax1 = 1.0 / beta;
    const double a1 = ctmin1 - 1e-10 - 0.01 * (ctmax1 - ctmin1);
    const double d1 = ctmax1 + 0.1 * (ctmax1 - a1);
    const double ctmin2 = (1.5 - 2 * dx) / beta, ctmax2 = 1.5 / beta;
    const double a2 = ctmin2 - 0.01 * (ctmax2 - ctmin2);
    const double d2 = ctmax2 + 0.1 * (ctmax2 - a2);
    const Landing want[4] = {{1, a1}, {2, d1}, {1, a2}, {2, d2}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(landings[std::size_t(i)].iduty, want[i].iduty);
        EXPECT_NEAR(landings[std::size_t(i)].ct, want[i].ct, 1e-9);
    }
    // the bunch really stood before the entry at the first landing: every
    // particle is still in the straight section
}

}  // namespace
