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

#include "run/files.hpp"
#include "run/iopath.hpp"
#include "run/log.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"
#include "support.hpp"

namespace {

using runtest::DeckFolder;
using runtest::lines_of;
using runtest::read_file;
using runtest::write_file;
namespace fs = std::filesystem;

class Pool : public DeckFolder {};

TEST_F(Pool, ElevenUnitsThenRefused) {
    std::int32_t ierr = 0;
    for (int k = 0; k < 11; ++k) {
        std::int32_t unit = -1;
        run::fioout("out" + std::to_string(k) + ".dat", unit, ierr);
        EXPECT_EQ(ierr, 0);
        EXPECT_EQ(unit, 20 + k);
    }
    std::int32_t unit = -1;
    testing::internal::CaptureStdout();
    run::fioout("twelfth.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(unit, -1);
    run::fioin("out0.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // the caller logs
    EXPECT_FALSE(fs::exists("twelfth.dat"));
    // a freed unit is handed out again, lowest first
    run::ficout(25, ierr);
    EXPECT_EQ(ierr, 0);
    run::ficin(22, ierr);
    EXPECT_EQ(ierr, 0);
    run::fioout("again.dat", unit, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(unit, 22);
}

TEST_F(Pool, FailedOpenFreesTheUnit) {
    std::int32_t ierr = 0, unit = -1;
    run::fioin("missing.dat", unit, ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_FALSE(fs::exists("missing.dat"));  // nothing is created
    EXPECT_FALSE(run::iopcom.iuse(20));
    run::fioout("no_such_folder/x.dat", unit, ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_FALSE(run::iopcom.iuse(20));
    run::fioout("ok.dat", unit, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(unit, 20);
}

TEST_F(Pool, PathPrefixes) {
    fs::create_directories("out");
    write_file("in/data.txt", "1 2\n");
    run::iopcom.outpath = "out";
    run::iopcom.inpath = "in";
    std::int32_t ierr = 0, uo = 0, ui = 0;
    run::fioout("r.dat", uo, ierr);
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(run::unit_write(uo, "hello"), 0);
    run::ficout(uo, ierr);
    EXPECT_EQ(read_file("out/r.dat"), "hello\n");
    run::fioin("data.txt", ui, ierr);
    EXPECT_EQ(ierr, 0);
    run::ficin(ui, ierr);
    // prefixed names are never cut to 80 characters
    const std::string longname(79, 'n');
    run::iopcom.outpath = "out";
    EXPECT_EQ(run::output_name(longname), "out/" + longname);
    run::iopcom.outpath = "undefined";
    EXPECT_EQ(run::output_name("a.dat"), "a.dat");
}

class Log : public DeckFolder {};

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
        run::logpri(c.text, c.len);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.want + "\n") << c.text;
    }
}

TEST_F(Log, NothingOnSlave) {
    run::cmpcom.master = false;
    run::cmpcom.myproc = 2;
    testing::internal::CaptureStdout();
    run::logpri("a line", 6);
    run::logpri(" ", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Log, LinesSurviveAnAbruptEnd) {
    // a process ended from outside (another process's fatal stop aborts the
    // job) keeps every log line already printed, on stdout and in the log file
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!std::freopen("stdout.txt", "w", stdout)) std::_Exit(2);
        if (run::unit_open(run::unit_log, "run.log", run::FileMode::write) != 0) std::_Exit(2);
        run::iopcom.logopn = true;
        run::logpri("kept line   ");
        run::stdout_line("direct line");
        std::_Exit(3);  // no flush, no destructors
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(read_file("stdout.txt"), " kept line\ndirect line\n");
    EXPECT_EQ(read_file("run.log"), " kept line\n");
}

class IoPath : public DeckFolder {
protected:
    // Runs the io_path layer on a block; returns its log lines.
    std::vector<std::string> layer(std::int32_t& ierr) {
        testing::internal::CaptureStdout();
        run::lyriop(ierr);
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
    run::logpri("before the log file");
    testing::internal::GetCapturedStdout();
    std::int32_t ierr = 0;
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(run::iopcom.inpath.str(), "data");
    EXPECT_EQ(run::iopcom.outpath.str(), "out");
    EXPECT_TRUE(run::iopcom.logopn);
    testing::internal::CaptureStdout();
    run::logpri("first   ");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " first\n");
    // a second log file closes the first one
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    testing::internal::CaptureStdout();
    run::logpri("second");
    run::logpri(" ");
    testing::internal::GetCapturedStdout();
    // an empty block changes nothing
    EXPECT_TRUE(layer(ierr).empty());
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(run::iopcom.outpath.str(), "out");
    run::unit_close_all();
    EXPECT_EQ(read_file("out/run.log"), " first\n");
    EXPECT_EQ(read_file("out/second.log"), " second\n\n");
    EXPECT_FALSE(fs::exists("run.log"));
}

}  // namespace
