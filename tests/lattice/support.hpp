// Test support for the lattice tests: a fresh lattice and deck-reader state
// in a temporary working folder, a deck opened from text, and the captured
// standard output split into lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "include/latcom.hpp"
#include "lattice/lattice.hpp"
#include "run/files.hpp"
#include "run/parser.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"

namespace lattest {

inline void reset_state() {
    run::unit_close_all();
    run::iopcom = run::Iopcom{};
    run::fincom = run::Fincom{};
    run::parcom = run::Parcom{};
    run::cmpcom.master = true;
    run::cmpcom.myproc = 1;
    run::cmpcom.nprocs = 1;
    std::int32_t ierr = 0;
    lattice::inilat(ierr);
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

inline void start_capture() { ::testing::internal::CaptureStdout(); }
inline std::vector<std::string> end_capture() {
    std::fflush(stdout);
    return lines_of(::testing::internal::GetCapturedStdout());
}

// Each test runs in its own temporary folder with a fresh state.
class LatticeFolder : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tarvel_lat_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        reset_state();
    }
    void TearDown() override {
        reset_state();
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    // Opens the text as the main deck and reads the layer word "lattice";
    // then runs the layer with standard output captured. Returns the status.
    std::int32_t run_layer(const std::string& text, std::vector<std::string>& out) {
        write_file("tarvel.in", text);
        std::int32_t ierr = 0;
        run::fiinit("tarvel.in", 9, ierr);
        EXPECT_EQ(ierr, 0);
        run::inprsr(ierr);
        EXPECT_EQ(ierr, 0);
        if (!outpath_.empty()) run::iopcom.outpath = outpath_;
        std::string word;
        run::getcmd(word, ierr);
        EXPECT_EQ(word, "lattice");
        start_capture();
        lattice::lylatt(ierr);
        out = end_capture();
        return ierr;
    }
    std::filesystem::path old_, dir_;
    std::string outpath_;  // output path prefix for the layer run (none when empty)
};

}  // namespace lattest
