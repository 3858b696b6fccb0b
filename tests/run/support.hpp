// Test support for the run-control tests (see tests/support/test_support.hpp).
#pragma once

#include "support/test_support.hpp"

namespace runtest {

using testsupport::lines_of;
using testsupport::read_file;
using testsupport::reset_run_state;
using testsupport::write_file;

// Fixture: a fresh temporary folder and run-control state per test.
class DeckFolder : public testsupport::TempFolder {
protected:
    // Opens text as the main deck "tarvel.in" and resets the tokenizer.
    void open_deck(const std::string& text) { ASSERT_EQ(testsupport::open_deck_text(text), 0); }
};

}  // namespace runtest
