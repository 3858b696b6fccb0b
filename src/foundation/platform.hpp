// Platform layer: sequential text files addressed by unit number. Standard
// output, the fatal stop and the operator pause (stop.hpp) come with it.
//
// Unit numbers follow the program's fixed plan: 10 the main deck, 11-19
// include files, 20-30 the pool of auxiliary files, 31 the log file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "foundation/stop.hpp"

namespace foundation {

inline constexpr int max_unit = 99;

// Longest record a read accepts, in characters (16 MiB): far more than a
// deck card or a data record of the largest tables, small enough that a
// file without line ends (a binary file, a device) cannot exhaust memory.
inline constexpr std::size_t max_record = std::size_t(1) << 24;

enum class FileMode { read, write };

// An open file of the unit plan, in the unit table that this layer keeps.
struct Unit {
    std::FILE* f = nullptr;
    FileMode mode = FileMode::read;
    bool begun = false;  // a record of the file has been read
};

// Opens the named file on a unit. Status 0 on success; nonzero (an errno
// value, or 1) when the file cannot be opened or the unit is busy. A file
// opened for reading must exist: nothing is created.
[[nodiscard]] int unit_open(int unit, const std::string& name, FileMode mode);

// Why an open failed, from the status unit_open returned ("No such file
// or directory"), for messages.
std::string open_failure(int status);

// Closes a unit. Status 0; 1 when the unit is not open.
[[nodiscard]] int unit_close(int unit);

bool unit_is_open(int unit);

// Reads one record (line) from a unit without its line end; a carriage
// return before the line end (a CRLF file) is dropped too, and so is a
// UTF-8 byte-order mark at the start of the file.
// Status 0 on success, -1 at end of file, positive on a read error
// (including a unit not open for reading, and a record longer than
// max_record characters, of which at most max_record are kept in line).
[[nodiscard]] int unit_read(int unit, std::string& line);

// Writes one record (text plus line end). Status 0, or positive on failure.
[[nodiscard]] int unit_write(int unit, std::string_view text);

// Positions a read unit at its start again. Status 0 or positive.
[[nodiscard]] int unit_rewind(int unit);

// Flushes a written unit. Status 0 or positive.
[[nodiscard]] int unit_flush(int unit);

// Closes every open unit (used by tests that run several decks in one
// process and at the end of the process).
void unit_close_all();

}  // namespace foundation
