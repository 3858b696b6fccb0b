#include "foundation/files.hpp"

#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace foundation {

Iopcom iopcom;

namespace {

std::string with_prefix(const ftypes::FStr<cap::txtlen>& prefix, const std::string& name) {
    if (prefix == "undefined") return name;
    std::string p = prefix.str();
    auto blank = p.find(' ');
    if (blank != std::string::npos) p.resize(blank);
    return p + "/" + name;
}

// Opens a pool file. A failure is named in one line (file, direction and
// why) before the caller's own message.
void pool_open(const std::string& path, FileMode mode, std::int32_t& unit, std::int32_t& ierr) {
    const char* how = mode == FileMode::read ? "reading" : "writing";
    for (int u = unit_pool_lo; u <= unit_pool_hi; ++u) {
        if (iopcom.iuse(u)) continue;
        iopcom.iuse(u) = true;
        ierr = unit_open(u, path, mode);
        if (ierr != 0) {
            // a unit whose open failed goes back to the pool
            iopcom.iuse(u) = false;
            logpri("cannot open " + path + " for " + how + ": " + open_failure(ierr));
        } else {
            unit = u;
        }
        return;
    }
    ierr = 1;
    logpri("cannot open " + path + " for " + how + ": all 11 units of auxiliary files are in use");
}

}  // namespace

std::string input_name(const std::string& name) { return with_prefix(iopcom.inpath, name); }
std::string output_name(const std::string& name) { return with_prefix(iopcom.outpath, name); }

void fiinit(const std::string& name, int len, std::int32_t& ierr) {
    iopcom.inpath = "undefined";
    iopcom.outpath = "undefined";
    iopcom.logopn = false;
    iopcom.iuse.fill(false);
    fincom.nfile = unit_deck;
    std::string n = name.substr(0, std::min<std::size_t>(name.size(), len < 0 ? 0 : std::size_t(len)));
    ierr = unit_open(unit_deck, n, FileMode::read);
    if (ierr == 0) deck_file_opened(unit_deck, n);
    if (ierr != 0) {
        logpri("cannot open the deck file " + n + " of the working directory: " + open_failure(ierr));
        logpri("error in fiinit");
        // no deck is open: reading goes nowhere
        fincom.nfile = unit_no_deck;
    }
}

void fiexit(std::int32_t& ierr) {
    ierr = 0;
    for (int u = fincom.nfile; u >= unit_deck; --u) {
        if (unit_close(u) != 0) {
            ierr += 1;
            logpri("error in fiexit");
        }
    }
    fincom.nfile = unit_no_deck;
}

void fioout(const std::string& name, std::int32_t& unit, std::int32_t& ierr) {
    pool_open(output_name(name), FileMode::write, unit, ierr);
}

void fioin(const std::string& name, std::int32_t& unit, std::int32_t& ierr) {
    pool_open(input_name(name), FileMode::read, unit, ierr);
}

void ficout(std::int32_t unit, std::int32_t& ierr) {
    if (unit < unit_pool_lo || unit > unit_pool_hi || !iopcom.iuse(unit)) {
        ierr = 1;
        return;
    }
    ierr = unit_close(unit);
    iopcom.iuse(unit) = false;
}

void ficin(std::int32_t unit, std::int32_t& ierr) { ficout(unit, ierr); }

}  // namespace foundation
