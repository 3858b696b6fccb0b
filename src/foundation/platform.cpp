#include "foundation/platform.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <array>
#include <string_view>

namespace foundation {
namespace {

std::array<Unit, max_unit + 1> units{};  // the open files by unit number

// The byte-order mark that some editors put at the start of a UTF-8 file.
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

Unit* get(int unit) {
    if (unit < 0 || unit > max_unit) return nullptr;
    return &units[std::size_t(unit)];
}

}  // namespace

int unit_open(int unit, const std::string& name, FileMode mode) {
    Unit* u = get(unit);
    if (!u || u->f) return 1;
    if (name.empty()) return 1;
    errno = 0;
    std::FILE* f = std::fopen(name.c_str(), mode == FileMode::read ? "r" : "w");
    if (!f) return errno ? errno : 1;
    u->f = f;
    u->mode = mode;
    u->begun = false;
    return 0;
}

std::string open_failure(int status) {
    if (status > 1) return std::strerror(status);
    return "the file cannot be opened";
}

int unit_close(int unit) {
    Unit* u = get(unit);
    if (!u || !u->f) return 1;
    int rc = std::fclose(u->f);
    u->f = nullptr;
    return rc == 0 ? 0 : 1;
}

bool unit_is_open(int unit) {
    Unit* u = get(unit);
    return u && u->f;
}

int unit_read(int unit, std::string& line) {
    line.clear();
    Unit* u = get(unit);
    if (!u || !u->f || u->mode != FileMode::read) return 1;
    int c;
    bool any = false;
    while ((c = std::getc(u->f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() >= max_record) return 2;  // a record without end: refused
        line.push_back(static_cast<char>(c));
    }
    if (c == EOF) {
        if (std::ferror(u->f)) return 2;
        if (!any) return -1;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // a byte-order mark at the start of the file is not part of its text
    if (!u->begun && line.compare(0, utf8_bom.size(), utf8_bom) == 0) line.erase(0, utf8_bom.size());
    u->begun = true;
    return 0;
}

int unit_write(int unit, std::string_view text) {
    Unit* u = get(unit);
    if (!u || !u->f || u->mode != FileMode::write) return 1;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), u->f) != text.size()) return 2;
    if (std::fputc('\n', u->f) == EOF) return 2;
    return 0;
}

int unit_rewind(int unit) {
    Unit* u = get(unit);
    if (!u || !u->f) return 1;
    std::rewind(u->f);
    u->begun = false;
    return 0;
}

int unit_flush(int unit) {
    Unit* u = get(unit);
    if (!u || !u->f) return 1;
    return std::fflush(u->f) == 0 ? 0 : 2;
}

void unit_close_all() {
    for (auto& u : units) {
        if (u.f) std::fclose(u.f);
        u = Unit{};
    }
}

}  // namespace foundation
