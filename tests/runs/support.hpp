// Test support for the tracking-run tests: a temporary working folder with
// a fresh deck reader, file pool and process state, stdout capture, and a
// small bunch and lattice set directly in the shared records.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bunch/tracker.hpp"
#include "forces/force.hpp"
#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "run/files.hpp"
#include "run/parser.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"

namespace runstest {

inline void write_file(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

inline std::vector<std::string> lines_of(const std::string& s) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t nl = s.find('\n', pos);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

// True when no unit of the auxiliary pool is in use (every file closed).
inline bool pool_free() {
    for (int u = run::unit_pool_lo; u <= run::unit_pool_hi; ++u)
        if (run::iopcom.iuse(u)) return false;
    return true;
}

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
class RunsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tarvel_runs_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        reset();
    }
    void TearDown() override {
        bunch::set_force_hook(nullptr);
        run::unit_close_all();
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    static void reset() {
        run::unit_close_all();
        run::iopcom = run::Iopcom{};
        run::fincom = run::Fincom{};
        run::parcom = run::Parcom{};
        run::cmpcom.master = true;
        run::cmpcom.myproc = 1;
        run::cmpcom.nprocs = 1;
        std::int32_t ierr = 0;
        bunch::initrk(ierr);
        forces::inifrc(ierr);
        empty_lattice();
        bunch::set_force_hook(nullptr);
    }
    // Opens text as the main deck "tarvel.in" and reads its first word.
    std::string open_deck(const std::string& text) {
        write_file("tarvel.in", text);
        std::int32_t ierr = 0;
        run::fiinit("tarvel.in", 9, ierr);
        EXPECT_EQ(ierr, 0);
        run::inprsr(ierr);
        EXPECT_EQ(ierr, 0);
        std::string word;
        run::getcmd(word, ierr);
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
        run::unit_close_all();
        run::iopcom = run::Iopcom{};
        run::fincom = run::Fincom{};
        run::parcom = run::Parcom{};
        open_deck(deck);
    }
    std::filesystem::path old_, dir_;
};

}  // namespace runstest
