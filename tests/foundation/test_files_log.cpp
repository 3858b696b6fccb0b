// The unit pool, the log printer and the log file of the io_path layer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/files.hpp"
#include "foundation/iopath.hpp"
#include "foundation/log.hpp"
#include "support/support.hpp"

namespace {

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
    testsupport::start_capture();
    foundation::fioout("twelfth.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(unit, -1);
    foundation::fioin("out0.dat", unit, ierr);
    EXPECT_EQ(ierr, 1);
    // one line says what failed; the caller logs its own message after it
    EXPECT_EQ(testsupport::end_capture(),
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

// A log file that cannot be opened is named with the reason and the deck
// line (one that cannot be written: the deck run_log_device_full).
TEST_F(Log, LogFileCannotBeOpened) {
    std::int32_t ierr = 0;
    auto log = layer(foundation::lyriop, "io_path {\n logfile = nofolder/x.log }\n", ierr);
    EXPECT_NE(ierr, 0);
    EXPECT_EQ(log, (std::vector<std::string>{" cannot open the log file nofolder/x.log for writing: No such file or directory",
                                             "   at tarvel.in line 2", " error in file io"}));
}

}  // namespace
