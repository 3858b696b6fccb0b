// Shared test support: a fresh deck-reader, file and process state, each
// test in its own temporary working folder, decks opened from text, and
// captured standard output split into lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/files.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"

namespace testsupport {

// Closes every unit and gives iopcom, fincom, parcom and the process record
// their start values (a single master process).
inline void reset_run_state() {
    foundation::unit_close_all();
    foundation::iopcom = foundation::Iopcom{};
    foundation::fincom = foundation::Fincom{};
    foundation::parcom = foundation::Parcom{};
    parallel::cmpcom.master = true;
    parallel::cmpcom.myproc = 1;
    parallel::cmpcom.nprocs = 1;
}

// Writes a text file (the text as given, no line end added), creating its folder.
inline void write_file(const std::filesystem::path& p, const std::string& text) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Splits captured output into lines (without line ends).
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

// True when no unit of the auxiliary pool is in use (every file closed).
inline bool pool_free() {
    for (int u = foundation::unit_pool_lo; u <= foundation::unit_pool_hi; ++u)
        if (foundation::iopcom.iuse(u)) return false;
    return true;
}

// Opens text as the main deck "tarvel.in" of the working folder with a
// fresh tokenizer; returns the status of the open.
inline std::int32_t open_deck_text(const std::string& text) {
    write_file("tarvel.in", text);
    std::int32_t ierr = 0;
    foundation::fiinit("tarvel.in", 9, ierr);
    if (ierr == 0) foundation::inprsr(ierr);
    return ierr;
}

// Fixture: every test runs in a fresh temporary folder with a reset state
// (reset_state(), which derived fixtures extend) and goes back to the
// previous working folder afterwards.
class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tarvel_") + info->test_suite_name() + "_" + info->name() + "_" +
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
    virtual void reset_state() { reset_run_state(); }
    std::filesystem::path old_, dir_;
};

}  // namespace testsupport
