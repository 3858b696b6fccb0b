// The unit pool, path prefixes, the log printer, the io_path layer and the
// start-up check of the job size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "foundation/files.hpp"
#include "foundation/iopath.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"
#include "support/support.hpp"

namespace {

using testsupport::lines_of;
using testsupport::read_file;
using testsupport::write_file;
namespace fs = std::filesystem;

class Pool : public testsupport::Folder {};

TEST_F(Pool, ElevenUnitsThenRefused) {
    std::int32_t ierr = 0;
    for (int k = 0; k < 11; ++k) {
        std::int32_t unit = -1;
        foundation::fioout("out" + std::to_string(k) + ".dat", unit, ierr);
        EXPECT_EQ(ierr, 0);
        EXPECT_EQ(unit, 20 + k);
    }
    std::int32_t unit = -1;
    testing::internal::CaptureStdout();
    foundation::fioout("twelfth.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(unit, -1);
    foundation::fioin("out0.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    // one line says what failed; the caller logs its own message after it
    EXPECT_EQ(lines_of(testing::internal::GetCapturedStdout()),
              (std::vector<std::string>{
                  " cannot open twelfth.dat for writing: all 11 units of auxiliary files are in use",
                  " cannot open out0.dat for reading: all 11 units of auxiliary files are in use"}));
    EXPECT_FALSE(fs::exists("twelfth.dat"));
    // a freed unit is handed out again, lowest first
    foundation::ficout(25, ierr);
    EXPECT_EQ(ierr, 0);
    foundation::ficin(22, ierr);
    EXPECT_EQ(ierr, 0);
    foundation::fioout("again.dat", unit, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(unit, 22);
}

class Log : public testsupport::Folder {};

TEST_F(Log, LinesAsPrinted) {
    const std::string full72 = std::string(71, 'a') + "z";
    struct Case {
        std::string text;
        int len;
        std::string want;
    };
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

TEST_F(Log, NothingOnSlave) {
    foundation::set_log_owner(false);  // as the process entry sets it on a slave
    testing::internal::CaptureStdout();
    foundation::logpri("a line", 6);
    foundation::logpri(" ", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A log file that cannot be opened is named with the reason and the deck
// line; one that cannot be written gives a single warning and marks the run.
TEST_F(Log, LogFileFailures) {
    std::int32_t ierr = 0;
    auto log = layer(foundation::lyriop, "io_path {\n logfile = nofolder/x.log }\n", ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_EQ(log, (std::vector<std::string>{" cannot open the log file nofolder/x.log for writing: No such file or directory",
                                             "   at tarvel.in line 2", " error in file io"}));
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    log = layer(foundation::lyriop, "io_path { logfile = /dev/full }\n", ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_FALSE(foundation::log_file_failed());
    testing::internal::CaptureStdout();
    foundation::logpri("first");
    foundation::logpri("second");
    EXPECT_EQ(lines_of(testing::internal::GetCapturedStdout()),
              (std::vector<std::string>{" first", " warning: cannot write the log file /dev/full",
                                        " warning: the log goes on on standard output only; the run will end with exit code 1",
                                        " second"}));
    EXPECT_TRUE(foundation::log_file_failed());
}

}  // namespace
