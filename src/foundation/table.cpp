#include "foundation/table.hpp"

#include <algorithm>

#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace foundation {

namespace {

// The next row of the values layout into row; false at a stop (or the end).
bool next_values(int unit, std::span<double> row, TableRead& r) {
    const int rs = read_reals_from_unit(unit, row);
    if (rs == 0) return true;
    if (rs == 2) r.stop = TableStop::count;
    else if (rs > 0) r.stop = TableStop::not_a_number;
    return false;
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
        const auto toks = split_record(line);
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

}  // namespace foundation
