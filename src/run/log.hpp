// The message log: the one printer of log lines of the whole program.
#pragma once

#include <string_view>

namespace run {

// Prints text(1:len) as one log line on the master only: without its
// trailing blanks, behind one leading blank column (a list-directed record),
// to standard output and, when a log file is open, to the log file. An
// all-blank text prints an empty line. A len beyond the text's size means
// the whole text.
void logpri(std::string_view text, int len);

// Same, for the whole text (the usual call with a 72-character buffer).
void logpri(std::string_view text);

}  // namespace run
