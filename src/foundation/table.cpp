#include "foundation/table.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace foundation {

namespace {

// The values of a record: its words up to a comment, which begins with a
// word that starts with "!" and runs to the end of the record (as in the
// deck).
std::vector<std::string> record_values(const std::string& line) {
    std::vector<std::string> toks = split_record(line);
    const auto comment = std::find_if(toks.begin(), toks.end(), [](const std::string& t) { return t[0] == '!'; });
    toks.erase(comment, toks.end());
    return toks;
}

// The next row of the values layout into row: its values from as many
// records as it needs, the rest of its last record skipped; false at a stop
// (or the end).
bool next_values(int unit, std::span<double> row, TableRead& r) {
    std::size_t k = 0;
    std::string line;
    while (k < row.size()) {
        const int rc = unit_read(unit, line);
        if (rc < 0) {
            if (k > 0) r.stop = TableStop::count;  // the file ends part-way through the row
            return false;
        }
        ++r.record;
        if (rc > 0) {
            r.stop = TableStop::not_a_number;
            return false;
        }
        for (const std::string& tok : record_values(line)) {
            if (k >= row.size()) break;
            if (read_real(tok, row[k]) != 0) {
                r.stop = TableStop::not_a_number;
                r.token = tok;
                return false;
            }
            ++k;
        }
    }
    return true;
}

// The next row of the records layout into row; false at a stop (or the end).
bool next_record(int unit, std::span<double> row, TableRead& r) {
    std::string line;
    for (;;) {
        const int rc = unit_read(unit, line);
        if (rc < 0) return false;
        ++r.record;
        if (rc > 0) {
            r.stop = TableStop::unreadable;
            return false;
        }
        const auto toks = record_values(line);
        if (toks.empty()) continue;
        if (toks.size() != row.size()) {
            r.stop = TableStop::count;
            r.count = toks.size();
            return false;
        }
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (read_real(toks[k], row[k]) != 0) {
                r.stop = TableStop::not_a_number;
                r.token = toks[k];
                return false;
            }
        }
        return true;
    }
}

}  // namespace

TableRead read_increasing_table(int unit, TableRows layout, int width, std::span<double> table,
                                const std::function<bool(std::span<const double>)>& accept) {
    TableRead r;
    const auto w = static_cast<std::size_t>(std::clamp(width, 1, table_width_max));
    const std::span<double> row = std::span<double>(r.row).first(w);
    const std::size_t capacity = table.size() / w;
    for (;;) {
        const bool got = layout == TableRows::values ? next_values(unit, row, r) : next_record(unit, row, r);
        if (!got) return r;
        const auto n = static_cast<std::size_t>(r.rows);
        if (n >= capacity) {
            r.stop = TableStop::too_many;
            return r;
        }
        if (n >= 1 && row[0] < table[(n - 1) * w]) {
            r.stop = TableStop::decreasing;
            return r;
        }
        if (accept && !accept(row)) {
            r.stop = TableStop::refused;
            return r;
        }
        std::copy(row.begin(), row.end(), table.begin() + std::ptrdiff_t(n * w));
        ++r.rows;
    }
}

int read_reals_from_unit(int unit, std::span<double> out) {
    std::size_t k = 0;
    std::string line;
    while (k < out.size()) {
        int rc = unit_read(unit, line);
        if (rc < 0) return (k == 0) ? -1 : 2;
        if (rc > 0) return 1;
        for (const auto& tok : split_record(line)) {
            if (k >= out.size()) break;
            if (read_real(tok, out[k]) != 0) return 1;
            ++k;
        }
    }
    return 0;
}

}  // namespace foundation
