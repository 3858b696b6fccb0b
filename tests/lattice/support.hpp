// Test support for the lattice tests (see tests/support/test_support.hpp).
#pragma once

#include "support/test_support.hpp"

#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"

namespace lattest {

using testsupport::end_capture;
using testsupport::lines_of;
using testsupport::read_file;
using testsupport::start_capture;
using testsupport::write_file;

inline void reset_state() {
    testsupport::reset_run_state();
    std::int32_t ierr = 0;
    lattice::inilat(ierr);
}

// Each test runs in its own temporary folder with a fresh lattice.
class LatticeFolder : public testsupport::TempFolder {
protected:
    void reset_state() override { lattest::reset_state(); }
    // Opens the text as the main deck and reads the layer word "lattice";
    // then runs the layer with standard output captured. Returns the status.
    std::int32_t run_layer(const std::string& text, std::vector<std::string>& out) {
        EXPECT_EQ(testsupport::open_deck_text(text), 0);
        if (!outpath_.empty()) foundation::iopcom.outpath = outpath_;
        std::int32_t ierr = 0;
        std::string word;
        foundation::getcmd(word, ierr);
        EXPECT_EQ(word, "lattice");
        start_capture();
        lattice::lylatt(ierr);
        out = end_capture();
        return ierr;
    }
    std::string outpath_;  // output path prefix for the layer run (none when empty)
};

}  // namespace lattest
