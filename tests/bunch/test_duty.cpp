// Duty steps: landings just before the first particle reaches a duty
// boundary and just after the last one has passed it, at the entry and exit
// of a dipole.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "support/support.hpp"

namespace {

using bunch::tr3com;

struct Landing {
    int iduty;  // the number on the duty line
    double ct;  // bunch time at that call
};

class Duty : public testsupport::Folder {
protected:
    // Force-free run from the bunch time to end as the time loop makes it;
    // returns the duty landings.
    std::vector<Landing> run(double end) {
        std::int32_t ierr = 0;
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
            testsupport::start_capture();
            bunch::steper(ctnext, reset, lstep);
            for (const auto& l : testsupport::end_capture()) {
                if (l.rfind("  --- duty -------------- ", 0) == 0) {
                    EXPECT_TRUE(tr3com.lduty);
                    out.push_back({std::stoi(l.substr(26)), bunch::prtcls.ctptcl});
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

TEST_F(Duty, LandingsAtDipoleEntryAndExit) {
    // three particles on the reference line, dx apart ahead of particle 1
    const double dx = 1e-3, p = 100.0, beta = p / std::sqrt(p * p + 1.0);
    ASSERT_NE(testsupport::add_section(0.0, 1.0, true), 0);   // dipole entry
    ASSERT_NE(testsupport::add_section(10.0, 0.5, true), 0);  // dipole exit
    ASSERT_NE(testsupport::add_section(0.0, 1.0, false), 0);
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
}

}  // namespace
