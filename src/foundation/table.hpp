// Tables of rows of numbers whose first column does not decrease (a time
// grid, sub-bunch sizes over c*t), read from an open unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace foundation {

// The most values of one row.
inline constexpr int table_width_max = 4;

// How the rows stand in the file. In both, a word that begins with "!"
// begins a comment to the end of its record (as in the deck); a record of
// blanks and comment gives no value.
enum class TableRows {
    values,   // as a list-directed read takes them: the values of a row from as
              // many records as needed, the rest of its last record skipped
    records,  // one row a record of exactly its width of values; blank records skipped
};

// Where the reading stopped: at the end of the file, or at the first row
// that could not be stored, for one of these reasons.
enum class TableStop {
    end,
    unreadable,    // the record cannot be read
    count,         // the record holds another number of values than the width
                   // (the file ends part-way through a row of the values layout)
    not_a_number,  // a value is not a number (of the values layout: or unreadable)
    too_many,      // the table holds no further row
    decreasing,    // the first value lies below the one of the row before
    refused,       // the caller's check refused the row
};

struct TableRead {
    TableStop stop = TableStop::end;
    std::int32_t rows = 0;    // rows stored
    int record = 0;           // records read: the last is the one of the stop
    std::size_t count = 0;    // values of that record (count, records layout)
    std::string token;        // the value that is not a number
    std::array<double, table_width_max> row{};  // the row not stored (too_many, decreasing, refused)
};

// Reads rows of width values (1..table_width_max) from unit into table, row
// r (1-based) at table[(r - 1) * width ...], until the end of the file. Each
// row is checked in this order: it reads as numbers; the table has room for
// it (table.size() / width rows); its first value is not below the one of
// the row before (equal values are accepted); accept (when given) takes it.
// The reading stops at the first row that fails, the rows before it stored.
TableRead read_increasing_table(int unit, TableRows layout, int width, std::span<double> table,
                                const std::function<bool(std::span<const double>)>& accept = {});

// Reads n reals from a unit as a list-directed read does: tokens are taken
// from as many records as needed; the rest of the last record is skipped.
// Status 0, -1 at end of file before the first value, 2 at end of file
// part-way (a short last row), 1 for a value that is not a number or a
// read error.
[[nodiscard]] int read_reals_from_unit(int unit, std::span<double> out);

}  // namespace foundation
