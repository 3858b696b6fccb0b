#include "foundation/log.hpp"

#include <string>

#include "foundation/files.hpp"
#include "foundation/platform.hpp"

namespace foundation {

namespace {
bool log_owner = true;  // this process prints the log
}  // namespace

void set_log_owner(bool master) { log_owner = master; }

void logpri(std::string_view text, int len) {
    if (!log_owner) return;
    if (len < 0) len = 0;
    std::string_view t = text.substr(0, std::min<std::size_t>(text.size(), std::size_t(len)));
    std::size_t l = t.size();
    while (l > 0 && t[l - 1] == ' ') --l;
    std::string line;
    if (l > 0) {
        line.reserve(l + 1);
        line.push_back(' ');
        line.append(t.substr(0, l));
    }
    stdout_line(line);
    if (iopcom.logopn) {
        (void)unit_write(unit_log, line);
        (void)unit_flush(unit_log);  // the log file is complete up to here, whatever ends the job
    }
}

void logpri(std::string_view text) { logpri(text, static_cast<int>(text.size())); }

}  // namespace foundation
