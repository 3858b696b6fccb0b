// Test support for the bunch tests (see tests/support/test_support.hpp).
#pragma once

#include "support/test_support.hpp"

#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"

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
        for (int u = foundation::unit_deck; u < foundation::unit_pool_lo; ++u)
            if (foundation::unit_is_open(u)) (void)foundation::unit_close(u);
        const auto iuse = foundation::iopcom.iuse;
        foundation::fincom = foundation::Fincom{};
        EXPECT_EQ(testsupport::open_deck_text(text), 0);
        foundation::iopcom.iuse = iuse;
        std::int32_t ierr = 0;
        std::string cmd;
        foundation::getcmd(cmd, ierr);
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
