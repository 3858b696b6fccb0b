// The unit pool, the log printer, the edit descriptors of printed numbers
// and the log file of the io_path layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/iopath.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "support/support.hpp"

namespace {

namespace fs = std::filesystem;

class Pool : public testsupport::Folder {};

TEST_F(Pool, ElevenUnitsThenRefused) {
    std::int32_t ierr = 0;
    for (int k = 0; k < 11; ++k) {
        std::int32_t unit = -1;
        foundation::fioout("out" + std::to_string(k) + ".dat", unit, ierr);
        EXPECT_EQ(ierr, 0) << k;
        EXPECT_EQ(unit, 20 + k) << k;
    }
    std::int32_t unit = -1;
    testsupport::start_capture();
    foundation::fioout("twelfth.dat", unit, ierr);
    EXPECT_TRUE(ierr == 1 && unit == -1);
    foundation::fioin("in.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    // one line says what failed; the caller logs its own message after it
    EXPECT_EQ(testsupport::end_capture(),
              (std::vector<std::string>{
                  " cannot open twelfth.dat for writing: all 11 units of auxiliary files are in use",
                  " cannot open in.dat for reading: all 11 units of auxiliary files are in use"}));
    EXPECT_FALSE(fs::exists("twelfth.dat"));
    // a freed unit is handed out again, lowest first
    std::int32_t e1 = 1, e2 = 1;
    foundation::ficout(25, e1);
    foundation::ficin(22, e2);
    foundation::fioout("again.dat", unit, ierr);
    EXPECT_TRUE(e1 == 0 && e2 == 0 && ierr == 0 && unit == 22) << unit;
}

class Log : public testsupport::Folder {};

TEST_F(Log, LinesAsPrinted) {
    const std::string full72 = std::string(71, 'a') + "z";
    struct Case { std::string text; int len; std::string want; };
    const Case cases[] = {
        {"error in forcei      ", 21, " error in forcei"},
        {"  indented  ", 12, "   indented"},
        {std::string(72, ' '), 72, ""},
        {" ", 1, ""},
        {"", 0, ""},
        {full72, 72, " " + full72},
        {"abcdef", 3, " abc"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        foundation::logpri(c.text, c.len);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.want + "\n") << c.text;
    }
}

TEST(FortranFormat, EditDescriptors) {
    const std::pair<std::string, std::string> cases[] = {  // got, want
        {foundation::fmt_e(1.0, 22, 14), "  0.10000000000000E+01"},
        {foundation::fmt_e(-1.0, 22, 14), " -0.10000000000000E+01"},
        {foundation::fmt_e(0.0, 22, 14), "  0.00000000000000E+00"},
        // three exponent digits keep the E: 22 columns hold the negative case
        {foundation::fmt_e(1e-300, 22, 14), " 0.10000000000000E-299"},
        {foundation::fmt_e(-1e-120, 22, 14), "-0.10000000000000E-119"},
        {foundation::fmt_e(1e120, 15, 7), " 0.1000000E+121"},
        {foundation::fmt_e(-1e-120, 15, 7), "-0.1000000E-119"},
        {foundation::fmt_e(-1e-120, 14, 7), "-.1000000E-119"},
        {foundation::fmt_e(123.456, 12, 4), "  0.1235E+03"},
        {foundation::fmt_e(-1.0, 8, 2), "-.10E+01"},
        {foundation::fmt_e(9.99999, 10, 2), "  0.10E+02"},
        // many digits: 70 after the point, the mantissa of 0.75 exact
        {foundation::fmt_e(0.75, 80, 70), "    0.75" + std::string(68, '0') + "E+00"},
        {foundation::fmt_f(0.5, 10, 3), "     0.500"},
        {foundation::fmt_f(-2.25, 6, 1), "  -2.2"},
        {foundation::fmt_f(123456.0, 5, 1), "*****"},
        {foundation::fmt_i(300000, 8), "  300000"},
        {foundation::fmt_i(-12, 2), "**"},
        {foundation::fmt_a("abc", 5), "abc  "},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

// A log file that cannot be opened is named with the reason and the deck
// line (one that cannot be written: the deck run_log_device_full).
TEST_F(Log, LogFileCannotBeOpened) {
    std::int32_t ierr = 0;
    auto log = layer(foundation::lyriop, "io_path {\n logfile = nofolder/x.log }\n", ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_EQ(log, (std::vector<std::string>{" cannot open the log file nofolder/x.log for writing: No such file or directory",
                                             "   at tarvel.in line 2", " error in file io"}));
}

// A fatal stop writes out what the open files hold before the job ends: the
// record written just before it reaches its file.
TEST_F(Pool, FatalStopWritesOutTheOpenFiles) {
    const auto stop_after_a_record = [] {
        std::int32_t unit = 0, ierr = 0;
        foundation::fioout("out.dat", unit, ierr);
        if (ierr != 0 || foundation::unit_write(unit, "last record") != 0) std::_Exit(3);
        foundation::fatal_stop("error in test: stop");
    };
    EXPECT_EXIT(stop_after_a_record(), testing::ExitedWithCode(1), "");
    std::ifstream in("out.dat");
    std::string line;
    EXPECT_TRUE(std::getline(in, line) && line == "last record") << line;
}

// What an output may not be opened onto: the files the run reads (kept for
// the whole run, whatever path names them) and the outputs open now. A file
// the run wrote before it read it back may be written again once closed.
TEST_F(Pool, OutputsRefusedOntoFilesOfTheRun) {
    testsupport::write_file("inc/part.in", "lattice { }\n");
    testsupport::write_file("grid.dat", "0.5\n");
    fs::create_hard_link("grid.dat", "grid_link.dat");
    open_deck("#file { name = part.in }\n");
    std::int32_t ierr = 0, unit = 0, log = 0;
    foundation::iopcom.inpath = "inc";
    std::string word;
    foundation::getcmd(word, ierr);  // the include is open
    ASSERT_EQ(word, "lattice");
    foundation::fioin("../grid.dat", unit, ierr);
    ASSERT_EQ(ierr, 0);
    foundation::ficin(unit, ierr);
    foundation::fioout("steps.dat", unit, ierr);
    ASSERT_EQ(ierr, 0);
    foundation::fioout("mon.dat", log, ierr);  // written, closed, then read back
    foundation::ficout(log, ierr);
    foundation::fioin("../mon.dat", log, ierr);
    ASSERT_EQ(ierr, 0);
    const std::pair<std::string, std::string> cases[] = {
        {"./tarvel.in", "the deck tarvel.in, which the run reads"},
        {"inc/../inc/part.in", "the include file inc/part.in, which the run reads"},
        {"grid_link.dat", "the input file inc/../grid.dat, which the run reads"},
        {"steps.dat", "the output file steps.dat, which the run is writing"},
        {"mon.dat", "the input file inc/../mon.dat, which the run reads"},
        {"new.dat", ""},
    };
    for (const auto& [path, want] : cases) EXPECT_EQ(foundation::output_clash(path), want) << path;
    foundation::ficin(log, ierr);
    EXPECT_EQ(foundation::output_clash("mon.dat"), "") << "the run's own file, read and closed";
    // the pool refuses such an output with its line, and the file is kept
    testsupport::start_capture();
    foundation::fioout("tarvel.in", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(testsupport::end_capture(), (std::vector<std::string>{
                  " cannot open tarvel.in for writing: it is the deck tarvel.in, which the run reads"}));
    EXPECT_EQ(testsupport::read_file("tarvel.in"), "#file { name = part.in }\n");
    EXPECT_FALSE(foundation::iopcom.iuse(22)) << "no unit kept";
}

// The pre-pass lists every file the deck reads, as the deck reader would
// open it: includes with the input prefix of the io_path layers before them
// (nested ones too), the input files of the layers; "#file" as a value is
// none, after "array =" it is one; "#eof" and "exit" end what is read.
TEST_F(Pool, DeckScanListsTheFilesTheDeckReads) {
    testsupport::write_file("a.in", "lattice { }\n#file { name = inc/nested.in }\n");
    testsupport::write_file("inc/nested.in", "monitor { name = m.dat } #eof\n#file { name = after_eof.in }\n");
    testsupport::write_file("inc/part.in", "0.0 0 0 0 0 0 0\n");
    testsupport::write_file("tarvel.in",
                            "#file { name = a.in }  io_path { input = inc  #file { name = missing.in } }\n"
                            "monitor { name = #file { name = value.in } }\n"
                            "particles { array = #file { name = part.in } 0 0 0 1e9 0 0 1e-12 }\n"
                            "forces { type = projected sigma_long = file sigma_file = s.dat wake_file = w.dat }\n"
                            "io_path { input = . }\n"
                            "track_step { time_grid_file = g.dat } exit\n"
                            "#file { name = after_exit.in }\n");
    const foundation::DeckOutline deck = foundation::scan_deck("tarvel.in");
    std::vector<std::string> got;
    for (const auto& d : deck.inputs) got.push_back(d.kind + " " + d.path + " @" + d.place + (d.id ? "" : " (none)"));
    EXPECT_EQ(got, (std::vector<std::string>{
                       "deck tarvel.in @", "include file a.in @tarvel.in line 1",
                       "include file inc/nested.in @a.in line 2",
                       "include file missing.in @tarvel.in line 1 (none)",
                       "include file inc/part.in @tarvel.in line 3", "input file inc/s.dat @tarvel.in line 4 (none)",
                       "input file inc/w.dat @tarvel.in line 4 (none)", "input file ./g.dat @tarvel.in line 6 (none)"}));
    std::vector<std::string> layers;
    for (const auto& l : deck.layers) layers.push_back(l.word + " @" + l.place + " in=" + l.inpath);
    EXPECT_EQ(layers, (std::vector<std::string>{
                          "lattice @a.in line 1 in=undefined", "monitor @inc/nested.in line 1 in=undefined",
                          "io_path @tarvel.in line 1 in=undefined", "monitor @tarvel.in line 2 in=inc",
                          "particles @tarvel.in line 3 in=inc", "forces @tarvel.in line 4 in=inc",
                          "io_path @tarvel.in line 5 in=inc", "track_step @tarvel.in line 6 in=."}));
    ASSERT_NE(deck.layers[1].key("name"), nullptr);
    EXPECT_EQ(deck.layers[1].key("name")->value, "m.dat");
    EXPECT_EQ(foundation::iopcom.deck_inputs.size(), deck.inputs.size()) << "kept for the clash check";
    for (int u = foundation::unit_scan; u < foundation::unit_scan + foundation::max_deck_files; ++u)
        EXPECT_FALSE(foundation::unit_is_open(u)) << u;
}

// Includes that include each other many times over: the pre-pass stops at
// the thousandth (the 1001st is listed, not read).
TEST_F(Pool, DeckScanReadsAtMostAThousandIncludes) {
    std::string leaves, fans;
    for (int k = 0; k < 40; ++k) leaves += "#file { name = leaf.in }\n", fans += "#file { name = fan.in }\n";
    testsupport::write_file("leaf.in", "\n");
    testsupport::write_file("fan.in", leaves);
    testsupport::write_file("tarvel.in", fans);
    EXPECT_EQ(foundation::scan_deck("tarvel.in").inputs.size(), 1u + 1001u);
}

// Outputs against what the pre-pass found and against the files other
// kinds of output wrote; an open output is no input.
TEST_F(Pool, OutputsOfAnotherKindAndFilesTheDeckReadsLater) {
    testsupport::write_file("bunch.in", "particles { }\n");
    open_deck("io_path { logfile = run.log }\n#file { name = bunch.in }\n#file { name = later.in }\n");
    (void)foundation::scan_deck("tarvel.in");
    std::int32_t ierr = 0, unit = 0, open = 0;
    foundation::fioout("mon.dat", unit, ierr, foundation::output_kind::monitor);
    foundation::ficout(unit, ierr);
    foundation::fioout("s.dat", open, ierr, foundation::output_kind::online);
    ASSERT_EQ(ierr, 0);
    struct Case { std::string path; std::string_view kind; std::string want; };
    const Case cases[] = {
        {"bunch.in", foundation::output_kind::log, "the include file bunch.in, which the run reads"},
        {"./bunch.in", foundation::output_kind::monitor, "the include file bunch.in, which the run reads"},
        {"later.in", foundation::output_kind::log, ""},  // not made yet: nothing to lose
        {"mon.dat", foundation::output_kind::lattice, "the monitor file mon.dat, which the run wrote"},
        {"mon.dat", foundation::output_kind::monitor, ""},  // a later monitor of the same name
        {"mon.dat", {}, ""},
        {"s.dat", foundation::output_kind::online, "the online monitor file s.dat, which the run is writing"},
    };
    for (const auto& c : cases) EXPECT_EQ(foundation::output_clash(c.path, c.kind), c.want) << c.path << " " << c.kind;
    EXPECT_EQ(foundation::input_clash("s.dat"), "the online monitor file s.dat, which the run is writing");
    EXPECT_EQ(foundation::input_clash("mon.dat"), "") << "a closed output may be read back";
    testsupport::start_capture();
    foundation::fioin("s.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(testsupport::end_capture(), (std::vector<std::string>{
                  " cannot open s.dat for reading: it is the online monitor file s.dat, which the run is writing"}));
}

// (A folder that does not exist or is a file: the decks files/*_folder_missing
// and output_is_file.)
TEST_F(Pool, NamesOfOutputsAndTheOutputFolder) {
    testsupport::write_file("a.dat", "");
    fs::create_directories("out");
    EXPECT_TRUE(foundation::same_file("a.dat", "out/../a.dat"));
    EXPECT_TRUE(foundation::same_file("new.dat", "./out/../new.dat")) << "files yet to be made, by their paths";
    EXPECT_FALSE(foundation::same_file("a.dat", "new.dat"));
    // before a run: the output folder must still take files
    foundation::iopcom.outpath = "gone";
    std::int32_t ierr = 0;
    testsupport::start_capture();
    foundation::check_output_folder(ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(testsupport::end_capture(), (std::vector<std::string>{
                  " the output files cannot be written: the folder gone does not exist", " error in file io"}));
    foundation::iopcom.outpath = "out";
    foundation::check_output_folder(ierr);
    EXPECT_EQ(ierr, 0);
}

}  // namespace
