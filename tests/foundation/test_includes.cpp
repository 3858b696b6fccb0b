// Commands, "#file" includes, "#eof" and the deck-file stack.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/parser.hpp"
#include "support/support.hpp"

namespace {

using testsupport::lines_of;
using testsupport::write_file;
namespace fs = std::filesystem;

// Reads commands until one fails (or a safety limit); returns the words and
// the log lines of the whole read.
struct Read {
    std::vector<std::string> words;
    std::int32_t ierr = 0;
    std::vector<std::string> log;
};

Read read_commands(int max_words = 100) {
    Read r;
    testing::internal::CaptureStdout();
    for (int k = 0; k < max_words; ++k) {
        std::string cmd;
        std::int32_t ierr = 0;
        foundation::getcmd(cmd, ierr);
        if (ierr != 0) {
            r.ierr = ierr;
            break;
        }
        r.words.push_back(cmd);
    }
    r.log = lines_of(testing::internal::GetCapturedStdout());
    return r;
}

const std::vector<std::string> closed_deck_log = {" io error in getcrd: no deck file open", " error in getcmd"};

class Includes : public testsupport::Folder {};

TEST_F(Includes, FailedIncludeLeavesStackAsItWas) {
    open_deck("a #file{name=missing.in} b c\nd\n");
    Read r = read_commands();
    EXPECT_EQ(r.words, std::vector<std::string>{"a"});
    EXPECT_EQ(foundation::fincom.nfile, 10);
    EXPECT_FALSE(foundation::unit_is_open(11));
    // reading goes on in the main deck right after the failed command
    Read rest = read_commands();
    EXPECT_EQ(rest.words, (std::vector<std::string>{"b", "c", "d", "exit"}));
}

TEST_F(Includes, NestingToNineTheTenthRefused) {
    // f1 .. f10, each including the next; the main deck includes f1
    for (int k = 1; k <= 10; ++k)
        write_file("f" + std::to_string(k) + ".in",
                   "w" + std::to_string(k) + " #file{name=f" + std::to_string(k + 1) + ".in} after" +
                       std::to_string(k) + "\n");
    open_deck("#file{name=f1.in} main_after\n");
    Read r = read_commands();
    std::vector<std::string> want;
    for (int k = 1; k <= 9; ++k) want.push_back("w" + std::to_string(k));
    EXPECT_EQ(r.words, want);
    EXPECT_EQ(r.log, (std::vector<std::string>{" error in fiio1: too many files", " error in getcmd",
                                               " error in getcmd"}));
    EXPECT_EQ(foundation::fincom.nfile, 19);
    // the refused command left the ninth file as it was: reading unwinds the stack
    Read rest = read_commands();
    std::vector<std::string> unwind;
    for (int k = 9; k >= 1; --k) unwind.push_back("after" + std::to_string(k));
    unwind.push_back("main_after");
    unwind.push_back("exit");
    EXPECT_EQ(rest.words, unwind);
}

TEST_F(Includes, SkippedBlock) {
    struct Case {
        const char* name;
        std::string deck;
        std::int32_t ierr_zero;
        std::string next;  // next command after the block
        std::vector<std::string> log;
    };
    write_file("inc.in", "{ } } still_skipped }\n");
    const Case cases[] = {
        {"nested braces", "{ a { b } { { c } } d } next\n", 1, "next", {}},
        {"include inside the block", "{ x #file{name=inc.in} y } next\n", 1, "still_skipped", {}},
        {"no opening brace", "a { }\n", 0, "", {" io error in getspc, expected:", " {", " error in lyrass"}},
        {"deck ends inside the block", "{ a { b }\n", 0, "",
         {" io error in getcrd: no deck file open", " error in getcmd", " error in lyrass"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run::reset_state();
        open_deck(c.deck);
        testing::internal::CaptureStdout();
        std::int32_t ierr = 0;
        foundation::lydumy(ierr);
        auto log = lines_of(testing::internal::GetCapturedStdout());
        EXPECT_EQ(ierr == 0, c.ierr_zero == 1);
        EXPECT_EQ(log, c.log);
        if (ierr == 0) {
            std::string cmd;
            foundation::getcmd(cmd, ierr);
            EXPECT_EQ(cmd, c.next);
        }
    }
}

}  // namespace
