// Test support for the tracking-run tests: a temporary working folder with
// a fresh deck reader, file pool and process state, stdout capture, and a
// small bunch and lattice set directly in the shared records.
#pragma once

#include "support/test_support.hpp"

#include "bunch/tracker.hpp"
#include "forces/force.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"

namespace runstest {

using testsupport::lines_of;
using testsupport::pool_free;
using testsupport::write_file;

// An empty lattice (no field boundary: everything is a drift).
inline void empty_lattice() {
    lattice::latcom.nfb = 0;
    lattice::latcom.nfbchg = 0;
    lattice::latcom.nila = 0;
    lattice::latcom.nrla = 0;
    lattice::latcom.lfbok = false;
    for (int i = 1; i <= cap::maxlat; ++i) lattice::latcom.fbduty(i) = false;
}

// A bunch of n active particles at time ct moving along +x with momentum p
// (units of m*c), particle i at x = (i - 1) * dx, charge 1e-12 C each.
inline void line_bunch(int n, double ct, double p, double dx) {
    auto& b = bunch::prtcls;
    b.npart = n;
    b.ctptcl = ct;
    b.p0 = p;
    b.qsign = 1;
    for (int i = 1; i <= n; ++i) {
        b.xptcl(1, i) = (i - 1) * dx;
        b.xptcl(2, i) = 0.0;
        b.xptcl(3, i) = 0.0;
        b.xptcl(4, i) = p;
        b.xptcl(5, i) = 0.0;
        b.xptcl(6, i) = 0.0;
        b.xptcl(7, i) = 1e-12;
        b.iptcl(1, i) = 1;
        b.iptcl(2, i) = 0;
        b.ldef(i) = true;
        b.lact(i) = true;
    }
    b.lfbidx = false;
}

// Fixture: a fresh temporary folder, reader and records for every test.
class RunsFolder : public testsupport::TempFolder {
protected:
    void reset_state() override { reset(); }
    void TearDown() override {
        bunch::set_force_hook(nullptr);
        testsupport::TempFolder::TearDown();
    }
    static void reset() {
        testsupport::reset_run_state();
        std::int32_t ierr = 0;
        bunch::initrk(ierr);
        forces::inifrc(ierr);
        empty_lattice();
        bunch::set_force_hook(nullptr);
    }
    // Opens text as the main deck "tarvel.in" and reads its first word.
    std::string open_deck(const std::string& text) {
        EXPECT_EQ(testsupport::open_deck_text(text), 0);
        std::int32_t ierr = 0;
        std::string word;
        foundation::getcmd(word, ierr);
        EXPECT_EQ(ierr, 0);
        return word;
    }
    // Runs a layer routine on a deck holding "word { body }", capturing the log.
    std::vector<std::string> layer(void (*fn)(std::int32_t&), const std::string& deck, std::int32_t& ierr) {
        reopen(deck);
        testing::internal::CaptureStdout();
        fn(ierr);
        return lines_of(testing::internal::GetCapturedStdout());
    }
    void reopen(const std::string& deck) {
        testsupport::reset_run_state();
        open_deck(deck);
    }
};

}  // namespace runstest
