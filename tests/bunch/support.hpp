// Test support for the bunch tests (see tests/support/test_support.hpp).
#pragma once

#include "support/test_support.hpp"

#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "include/trkcom.hpp"

namespace buntest {

using testsupport::lines_of;
using testsupport::read_file;
using testsupport::write_file;

inline void reset_state() {
    testsupport::reset_run_state();
    std::int32_t ierr = 0;
    bunch::iniprt(ierr);
    bunch::inimon(ierr);
    lattice::latcom.nfb = 0;
    bunch::forcs2.ctfk = ftypes::UNDEF_REAL;
}

// Result of a layer routine run on a deck: status and log lines.
struct LayerRun {
    std::int32_t ierr = 0;
    std::vector<std::string> log;
};

// Fixture: each test in a fresh temporary folder with a reset bunch.
class BunchFolder : public testsupport::TempFolder {
protected:
    void reset_state() override { buntest::reset_state(); }
    // Opens text as the main deck, reads its first word (which must be
    // word) and runs the layer routine on the rest, capturing the log.
    LayerRun run_layer(const std::string& text, const std::string& word,
                       void (*layer)(std::int32_t&)) {
        LayerRun r;
        // a fresh deck stack; pool files opened before stay open
        for (int u = run::unit_deck; u < run::unit_pool_lo; ++u)
            if (run::unit_is_open(u)) (void)run::unit_close(u);
        const auto iuse = run::iopcom.iuse;
        run::fincom = run::Fincom{};
        EXPECT_EQ(testsupport::open_deck_text(text), 0);
        run::iopcom.iuse = iuse;
        std::int32_t ierr = 0;
        std::string cmd;
        run::getcmd(cmd, ierr);
        EXPECT_EQ(cmd, word);
        testing::internal::CaptureStdout();
        layer(r.ierr);
        r.log = lines_of(testing::internal::GetCapturedStdout());
        return r;
    }
    LayerRun particles(const std::string& text) {
        return run_layer("particles " + text, "particles", bunch::lypart);
    }
};

}  // namespace buntest
