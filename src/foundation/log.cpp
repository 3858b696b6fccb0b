#include "foundation/log.hpp"

#include <string>

#include "foundation/capacities.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace foundation {

Logcom logcom;

namespace {

// Writes a line to the open log file; the first failure of this file gives
// one warning on standard output.
void write_log_file(const std::string& line) {
    const int w = unit_write(unit_log, line);
    const int f = unit_flush(unit_log);  // the log file is complete up to here, whatever ends the job
    if (w == 0 && f == 0) return;
    LogFile& log = logcom.log;
    log.failed = true;
    log.failed_name = log.name;
    if (log.warned) return;
    log.warned = true;
    stdout_line(" warning: cannot write the log file " + log.name);
    stdout_line(" warning: the log goes on on standard output only; the run will end with exit code 1");
}

}  // namespace

void set_log_owner(bool master) { logcom.log_owner = master; }

void log_file_opened(const std::string& name) {
    logcom.log.name = name;
    logcom.log.warned = false;
}

bool log_file_failed() { return logcom.log.failed; }

const std::string& failed_log_file() { return logcom.log.failed_name; }

void logpri(std::string_view text, int len) {
    if (!logcom.log_owner) return;
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
    if (logcom.logopn) write_log_file(line);
}

void logpri(std::string_view text) { logpri(text, static_cast<int>(text.size())); }

void log_line(std::string_view text) { logpri(cut(text, cap::loglen)); }

void log_wrapped(std::string_view text) {
    const std::size_t width = std::size_t(cap::loglen);
    std::string lead;
    while (!text.empty()) {
        const std::size_t room = width - lead.size();
        std::size_t cut = text.size();
        if (cut > room) {
            cut = text.rfind(' ', room);
            if (cut == std::string_view::npos || cut == 0) cut = room;
        }
        log_line(lead + std::string(text.substr(0, cut)));
        text.remove_prefix(cut);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        lead = "  ";
    }
}

}  // namespace foundation
