// Test support for the bunch tests: a fresh deck-reader, file, bunch and
// monitor state in a temporary working folder, decks opened from text, and
// the captured standard output split into lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "include/trkcom.hpp"
#include "run/files.hpp"
#include "run/parser.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"

namespace buntest {

inline void reset_state() {
    run::unit_close_all();
    run::iopcom = run::Iopcom{};
    run::fincom = run::Fincom{};
    run::parcom = run::Parcom{};
    run::cmpcom.master = true;
    run::cmpcom.myproc = 1;
    run::cmpcom.nprocs = 1;
    std::int32_t ierr = 0;
    bunch::iniprt(ierr);
    bunch::inimon(ierr);
    lattice::latcom.nfb = 0;
    bunch::forcs2.ctfk = ftypes::UNDEF_REAL;
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
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

// Result of a layer routine run on a deck: status and log lines.
struct LayerRun {
    std::int32_t ierr = 0;
    std::vector<std::string> log;
};

// Fixture: each test in a fresh temporary folder with a reset state.
class BunchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tarvel_bunch_") + info->test_suite_name() + "_" + info->name() +
                "_" + std::to_string(::getpid()));
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
    // Opens text as the main deck, reads its first word (which must be
    // word) and runs the layer routine on the rest, capturing the log.
    LayerRun run_layer(const std::string& text, const std::string& word,
                       void (*layer)(std::int32_t&)) {
        LayerRun r;
        write_file("tarvel.in", text);
        std::int32_t ierr = 0;
        // a fresh deck stack; pool files opened before stay open
        for (int u = run::unit_deck; u < run::unit_pool_lo; ++u)
            if (run::unit_is_open(u)) (void)run::unit_close(u);
        const auto iuse = run::iopcom.iuse;
        run::fincom = run::Fincom{};
        run::fiinit("tarvel.in", 9, ierr);
        run::iopcom.iuse = iuse;
        EXPECT_EQ(ierr, 0);
        run::inprsr(ierr);
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
    std::filesystem::path old_, dir_;
};

}  // namespace buntest
