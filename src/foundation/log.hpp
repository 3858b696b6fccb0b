// The message log: the one printer of log lines of the whole program.
#pragma once

#include <string>
#include <string_view>

#include "foundation/ftypes.hpp"

namespace foundation {

inline constexpr int unit_log = 31;  // the log file

// The log file: its name, whether a write to it failed (and was reported),
// and the name of the last log file of the run that lost lines.
struct LogFile {
    std::string name;
    bool warned = false;
    bool failed = false;
    std::string failed_name;
};

// The log's state, one per process.
struct Logcom {
    ftypes::Logical logopn = false;  // the log file on unit 31 is open
    bool log_owner = true;           // this process prints the log (the master)
    LogFile log;                     // the log file on unit 31
};

extern Logcom logcom;

// Prints text(1:len) as one log line on the master only: without its
// trailing blanks, behind one leading blank column (a list-directed record),
// to standard output and, when a log file is open, to the log file. An
// all-blank text prints an empty line. A len beyond the text's size means
// the whole text.
void logpri(std::string_view text, int len);

// Same, for the whole text (the usual call with a 72-character buffer).
void logpri(std::string_view text);

// A log line as the program's 72-character buffer holds it: the text cut to
// its first loglen characters.
void log_line(std::string_view text);

// A line that says why something cannot be used and what would work: the
// text as log lines of the log's width, broken at blanks, every line after
// the first indented by two blanks.
void log_wrapped(std::string_view text);

// The log file just opened on its unit (its name for the warning below).
// A write to it that fails gives, the first time for this file, one
// warning line on standard output; the failure is kept for the end of the
// run (log_file_failed), which then ends with a nonzero exit code.
void log_file_opened(const std::string& name);
[[nodiscard]] bool log_file_failed();
// The name of the last log file a write failed to reach.
[[nodiscard]] const std::string& failed_log_file();

// Whether this process prints the log: the master does, the slaves do not.
// The process entry sets it from the process record at start-up; a program
// that never sets it is a single master process.
void set_log_owner(bool master);

}  // namespace foundation
