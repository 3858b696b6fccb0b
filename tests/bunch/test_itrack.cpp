// The iterated time step with a test force model that counts its calls:
// evaluations per step against maxit and precondition, reuse of the stored
// force sets, the zero-length first step and failed evaluations.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bunch/tracker.hpp"
#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "support/support.hpp"

namespace {

using bunch::forcs2;
using bunch::tr3com;

struct Call {
    int model;
    double ct;
};
std::vector<Call> calls;
int fail_at = -1;  // number of the call (0-based) that fails

// A force that changes with every call (so two passes never agree) and
// differs from particle to particle.
void counting_force(bunch::ForceType m, foundation::ParticleView, foundation::IndexView, double ct,
                    foundation::ForceView F, std::int32_t& ierr) {
    const int k = int(calls.size());
    calls.push_back({bunch::code(m), ct});
    for (int j = 1; j <= bunch::prtcls.npart; ++j) F.along(j) = 1e-3 * j * (k + 1), F.left(j) = F.vert(j) = 0.0;
    ierr = (k == fail_at) ? 1 : 0;
    if (ierr) F.along(1) = 99.0;  // garbage that must not survive
}

class Itrack : public testsupport::Folder {
protected:
    // A bunch of 5 particles, the counting force installed, no call made.
    void start(int itype) {
        reset();
        bunch::set_force_entry(counting_force, true);
        testsupport::line_bunch(5, 0.0, 100.0, 1e-3);
        calls.clear();
        fail_at = -1;
        bunch::forces.itype = itype;
    }
    // One step of the bunch to ctnext; the log lines in *log.
    double step(double ctnext, std::vector<std::string>* log = nullptr, std::int32_t* status = nullptr) {
        double derr = -1.0;
        std::int32_t ierr = 0;
        testsupport::start_capture();
        bunch::ttrack(ctnext, derr, ierr);
        auto out = testsupport::end_capture();
        if (log) *log = out;
        if (status) *status = ierr;
        else EXPECT_EQ(ierr, 0);
        return derr;
    }
};

int count_lines(const std::vector<std::string>& log, const std::string& prefix) {
    int n = 0;
    for (const auto& l : log) n += l.rfind(prefix, 0) == 0;
    return n;
}

const std::string plain = "  " + std::string(19, ' ') + "step_error/step_time=";
const std::string starred = "  " + std::string(15, ' ') + "*** step_error/step_time=";

TEST_F(Itrack, EvaluationsPerStep) {
    struct Case {
        const char* name;
        int itype;
        bool precondition;
        int maxit;
        bool converge;  // every pass is accepted at once
        int first_step;  // evaluations of the zero-length first step
        int step1;       // evaluations of the first real step (start forces stored)
        int stage1_lines, stage2_lines;
    };
    const Case cases[] = {
        {"projected, maxit 3, never converged", 1, true, 3, false, 1, 1 + 3, 3, 0},
        {"projected, maxit 3, converged at once", 1, true, 3, true, 1, 1 + 1, 1, 0},
        {"projected, maxit 1", 1, false, 1, false, 1, 1 + 1, 1, 0},
        {"csr_p_to_p with preconditioning", 2, true, 3, false, 2, (1 + 3) + (1 + 2), 3, 3},
        {"csr_p_to_p with preconditioning, converged", 2, true, 3, true, 2, (1 + 1) + (1 + 0), 1, 1},
        {"csr_p_to_p without preconditioning", 2, false, 3, false, 1, 1 + 2, 0, 3},
        {"csr_g_to_m, maxit 1", 5, true, 1, false, 2, (1 + 1) + (1 + 0), 1, 1},
    };
    const int pm[6] = {0, 1, 4, 5, 1, 1};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.itype);
        tr3com.precondition = c.precondition;
        tr3com.maxit = c.maxit;
        tr3com.error_per_ct = c.converge ? 1e300 : 1e-300;

        std::vector<std::string> log;
        EXPECT_EQ(step(0.0, &log), 0.0);  // the zero-length first step
        EXPECT_EQ(int(calls.size()), c.first_step);
        EXPECT_TRUE(log.empty());
        for (const auto& k : calls) EXPECT_EQ(k.ct, 0.0);
        EXPECT_EQ(forcs2.ctfk, 0.0);
        EXPECT_EQ(bunch::prtcls.xptcl(1, 2), 1e-3);  // nothing moved

        // a second zero-length step reuses the stored sets
        step(0.0);
        EXPECT_EQ(int(calls.size()), c.first_step);

        calls.clear();
        double err = step(0.125, &log);
        EXPECT_EQ(int(calls.size()), c.step1);
        for (const auto& k : calls) {
            EXPECT_EQ(k.ct, 0.125);  // start forces come from the stored sets
            EXPECT_TRUE(k.model == c.itype || k.model == pm[c.itype]) << k.model;
        }
        EXPECT_EQ(count_lines(log, starred), pm[c.itype] != c.itype ? c.stage1_lines : 0);
        EXPECT_EQ(count_lines(log, plain), c.stage2_lines + (pm[c.itype] == c.itype ? c.stage1_lines : 0));
        EXPECT_GT(err, 0.0);
        EXPECT_EQ(bunch::prtcls.ctptcl, 0.125);
        EXPECT_EQ(forcs2.ctfk, 0.125);
        // without a preconditioning stage fi was never computed
        EXPECT_EQ(forcs2.ctfi, c.precondition || pm[c.itype] == c.itype ? 0.125 : ftypes::UNDEF_REAL);
        for (int j = 1; j <= 5 && c.itype == 1; ++j) EXPECT_EQ(forcs2.fk(1, j), forcs2.fi(1, j));
        // the bunch moved: 0.125 m of c*t at nearly the speed of light
        EXPECT_NEAR(bunch::prtcls.xptcl(1, 1), 0.125, 1e-4);
    }
}

// A failed evaluation leaves zero forces, not stale or garbage values, and
// reports the step as failed.
TEST_F(Itrack, FailedEvaluationGivesZeroForcesAndStatus) {
    struct Case {
        const char* name;
        int fail;
        double ctnext;
    };
    const Case cases[] = {{"start forces", 0, 0.0}, {"last pass", 3, 0.125}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(1);
        tr3com.maxit = 2;
        tr3com.error_per_ct = 1e-300;
        if (c.ctnext > 0.0) step(0.0);
        fail_at = c.fail;
        std::vector<std::string> log;
        std::int32_t ierr = 0;
        step(c.ctnext, &log, &ierr);
        EXPECT_NE(ierr, 0);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), " error in ttrack: force evaluation failed, zero forces used");
        for (int j = 1; j <= 5; ++j)
            for (int k = 1; k <= 3; ++k) EXPECT_EQ(forcs2.fk(k, j), 0.0);
    }
}

}  // namespace
