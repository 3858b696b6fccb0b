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
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // the caller logs
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

TEST_F(Pool, FailedOpenFreesTheUnit) {
    std::int32_t ierr = 0, unit = -1;
    foundation::fioin("missing.dat", unit, ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_FALSE(fs::exists("missing.dat"));  // nothing is created
    EXPECT_FALSE(foundation::iopcom.iuse(20));
    foundation::fioout("no_such_folder/x.dat", unit, ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_FALSE(foundation::iopcom.iuse(20));
    foundation::fioout("ok.dat", unit, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(unit, 20);
}

TEST_F(Pool, PathPrefixes) {
    fs::create_directories("out");
    write_file("in/data.txt", "1 2\n");
    foundation::iopcom.outpath = "out";
    foundation::iopcom.inpath = "in";
    std::int32_t ierr = 0, uo = 0, ui = 0;
    foundation::fioout("r.dat", uo, ierr);
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(foundation::unit_write(uo, "hello"), 0);
    foundation::ficout(uo, ierr);
    EXPECT_EQ(read_file("out/r.dat"), "hello\n");
    foundation::fioin("data.txt", ui, ierr);
    EXPECT_EQ(ierr, 0);
    foundation::ficin(ui, ierr);
    // prefixed names are never cut to 80 characters
    const std::string longname(79, 'n');
    foundation::iopcom.outpath = "out";
    EXPECT_EQ(foundation::output_name(longname), "out/" + longname);
    foundation::iopcom.outpath = "undefined";
    EXPECT_EQ(foundation::output_name("a.dat"), "a.dat");
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

TEST_F(Log, LinesSurviveAnAbruptEnd) {
    // a process ended from outside (another process's fatal stop aborts the
    // job) keeps every log line already printed, on stdout and in the log file
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!std::freopen("stdout.txt", "w", stdout)) std::_Exit(2);
        if (foundation::unit_open(foundation::unit_log, "run.log", foundation::FileMode::write) != 0) std::_Exit(2);
        foundation::iopcom.logopn = true;
        foundation::logpri("kept line   ");
        foundation::stdout_line("direct line");
        std::_Exit(3);  // no flush, no destructors
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(read_file("stdout.txt"), " kept line\ndirect line\n");
    EXPECT_EQ(read_file("run.log"), " kept line\n");
}

class IoPath : public testsupport::Folder {
protected:
    // Runs the io_path layer on a block; returns its log lines.
    std::vector<std::string> layer(std::int32_t& ierr) {
        testing::internal::CaptureStdout();
        foundation::lyriop(ierr);
        return lines_of(testing::internal::GetCapturedStdout());
    }
};

TEST_F(IoPath, LogFileWithOutputPath) {
    fs::create_directories("out");
    open_deck(
        "{ logfile = run.log output = out input = data }\n"
        "{ logfile = second.log }\n"
        "{ }\n");
    testing::internal::CaptureStdout();
    foundation::logpri("before the log file");
    testing::internal::GetCapturedStdout();
    std::int32_t ierr = 0;
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(foundation::iopcom.inpath.str(), "data");
    EXPECT_EQ(foundation::iopcom.outpath.str(), "out");
    EXPECT_TRUE(foundation::iopcom.logopn);
    testing::internal::CaptureStdout();
    foundation::logpri("first   ");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " first\n");
    // a second log file closes the first one
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    testing::internal::CaptureStdout();
    foundation::logpri("second");
    foundation::logpri(" ");
    testing::internal::GetCapturedStdout();
    // an empty block changes nothing
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(foundation::iopcom.outpath.str(), "out");
    foundation::unit_close_all();
    EXPECT_EQ(read_file("out/run.log"), " first\n");
    EXPECT_EQ(read_file("out/second.log"), " second\n\n");
    EXPECT_FALSE(fs::exists("run.log"));
}

}  // namespace
