#include "foundation/iopath.hpp"

#include <array>
#include <string>
#include <string_view>

#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace foundation {

void lyriop(std::int32_t& ierr) {
    constexpr int n = 3;
    static constexpr std::array<std::string_view, n> cid = {"input", "output", "logfile"};
    std::array<std::string, n> cval;
    std::array<ftypes::Logical, n> lset{};

    read_block(cid, cval, lset, ierr);
    if (ierr != 0) {
        logpri("error in file io");
        return;
    }
    // applied in the order of the table, so a log file takes a new output path
    if (lset[0]) iopcom.inpath = cval[0];
    if (lset[1] && cval[1] != "undefined") {
        // the folder is checked now, not at the first file a run writes
        const std::string problem = folder_problem(cval[1] + "/x");
        if (!problem.empty()) {
            ierr = 1;
            log_where("output = " + quoted(cval[1]) + ": " + problem, key_place("output"));
            logpri("error in file io");
            return;
        }
    }
    if (lset[1]) iopcom.outpath = cval[1];
    if (lset[2]) {
        const std::string name = output_name(cval[2]);
        // the log file being replaced may be opened anew under its own name
        if (const std::string clash = output_clash(name, output_kind::log, unit_log); !clash.empty()) {
            ierr = 1;
            log_where("logfile = " + quoted(cval[2]) + ": it is " + clash, key_place("logfile"));
            logpri("error in file io");
            return;
        }
        if (logcom.logopn) {
            logcom.logopn = false;
            note_closed(unit_log);
            ierr = unit_close(unit_log);
            if (ierr != 0) {
                logpri("error in file io");
                return;
            }
        }
        ierr = unit_open(unit_log, name, FileMode::write);
        if (ierr != 0) {
            log_where("cannot open the log file " + name + " for writing: " + open_failure(ierr), key_place("logfile"));
            logpri("error in file io");
            return;
        }
        logcom.logopn = true;
        log_file_opened(name);
        note_written(unit_log, name, output_kind::log);
    }
}

void check_output_folder(std::int32_t& ierr) {
    ierr = 0;
    const std::string problem = folder_problem(output_name("x"));
    if (problem.empty()) return;
    ierr = 1;
    logpri("the output files cannot be written: " + problem);
    logpri("error in file io");
}

}  // namespace foundation
