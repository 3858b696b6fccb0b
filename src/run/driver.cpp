// The master's driver: start-up, the read loop over the layers of the deck,
// the action point and the tracking run, and the banner.
#include "run/driver.hpp"

#include <string>

#include "fieldlib/version.hpp"
#include "forces/version.hpp"
#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "bunch/tracker.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/lattice.hpp"
#include "parallel/cmplib.hpp"
#include "forces/force.hpp"
#include "forces/gmesh.hpp"
#include "include/prtcls.hpp"
#include "include/trkcom.hpp"
#include "run/files.hpp"
#include "run/fortran_format.hpp"
#include "run/iopath.hpp"
#include "run/log.hpp"
#include "run/parser.hpp"

namespace run {

namespace {

// Drops the stored Green's function and both stored force sets, so that
// the next step recomputes them for the changed lattice, bunch or model.
void drop_stored_fields() {
    forces::gmeshi();
    bunch::forcs2.ctfi = ftypes::UNDEF_REAL;
    bunch::forcs2.ctfk = ftypes::UNDEF_REAL;
}

// Logs the integrated step error of the tracking runs so far.
void log_step_error(double errsum) {
    logpri(cut(ld_line({"integrated step error=", ld_real(errsum)}), cap::loglen));
}

}  // namespace

void verifo() {
    const std::string rule(54, '-');
    const std::string indent(11, ' ');
    auto line = [](const std::string& s) { logpri(cut(s, cap::loglen)); };

    line(rule);
    line("Tarvelin");
    line("   rel1.2   0001                   from 06.02.06");
    line("   maxprt=" + fmt_i(cap::maxprt, 8));
    std::string text;
    std::int32_t n = 1;
    for (std::int32_t i = 1; i <= n; ++i) {
        fieldlib::verfld(text, i, n);
        if (i == 1)
            line("   solver: " + (text.size() > 14 ? text.substr(14) : std::string()));
        else
            line(indent + text);
    }
    n = 1;
    for (std::int32_t i = 1; i <= n; ++i) {
        forces::vercsr(text, i, n);
        line(indent + text);
    }
    line(rule);
}

std::int32_t tarvel() {
    static std::string commid;  // the layer word just read
    static std::string action;  // pending action: "tracker", "exit" or none
    static std::string comand;  // command for the slaves: "stopp" or "tracker"
    commid.clear();
    action.clear();
    comand.clear();

    bool failed = false;  // the run ended through a failure: nonzero exit code
    std::int32_t ierr = 0;

    // Start-up: each step only while the status is 0.
    fiinit("tarvel.in", 9, ierr);
    if (ierr == 0) inprsr(ierr);
    // start values of the lattice, bunch, tracker, force and monitor records
    if (ierr == 0) lattice::inilat(ierr);
    if (ierr == 0) bunch::iniprt(ierr);
    if (ierr == 0) bunch::initrk(ierr);
    if (ierr == 0) forces::inifrc(ierr);
    if (ierr == 0) bunch::inimon(ierr);
    if (ierr == 0) {
        drop_stored_fields();
        verifo();
    }
    bool reading = (ierr == 0);
    if (!reading) failed = true;

    for (;;) {
        // Read loop: one layer after the other until the action point.
        while (reading) {
            ierr = 0;
            getcmd(commid, ierr);
            if (ierr != 0) break;
            if (commid == "exit") {
                fiexit(ierr);
                {
                    // close every online-monitor file
                    std::int32_t st = 0;
                    bunch::eximon(0, st);
                    ierr += st;
                }
                action = "exit";
                break;
            }
            if (commid == "io_path") {
                lyriop(ierr);
                if (ierr != 0) break;
                continue;
            }
            if (commid == "lattice") {
                lattice::lylatt(ierr);
                drop_stored_fields();
                if (ierr != 0) break;
                continue;
            }
            if (commid == "particles") {
                // a new bunch: the online monitors, stored fields and the
                // integrated step error of the old one are dropped
                bunch::lypart(ierr);
                std::int32_t st = 0;
                bunch::eximon(0, st);
                if (ierr == 0) ierr = st;
                drop_stored_fields();
                bunch::tr3com.errsum = 0.0;
                if (ierr != 0) break;
                continue;
            }
            if (commid == "monitor") {
                lattice::inila2(ierr);
                if (ierr == 0) bunch::lymoni(ierr);
                if (ierr != 0) break;
                continue;
            }
            if (commid == "online_monitor") {
                bunch::lyomon(ierr);
                if (ierr != 0) break;
                continue;
            }
            if (commid == "forces") {
                forces::lyforc(ierr);
                drop_stored_fields();
                if (ierr != 0) break;
                continue;
            }
            if (commid == "track_step") {
                bunch::lytrst(ierr);
                if (ierr != 0) break;
                continue;
            }
            if (commid == "track_accuracy") {
                lydumy(ierr);
                if (ierr != 0) break;
                continue;
            }
            if (commid == "tracker") {
                bunch::lytrck(ierr);
                if (ierr == 0) action = "tracker";
                break;
            }
            logpri("error in tarvel: unknown layer command");
            ierr = 1;
            break;
        }
        // a nonzero status here (also of "exit") means the run failed
        if (ierr != 0) failed = true;

        // Action point.
        verifo();
        comand = "stopp";
        if (action == "tracker") {
            action.clear();
            ierr = 0;
            // tracker set-up: inila2, then initr2, then inimo2, each only if the one before succeeded
            lattice::inila2(ierr);
            if (ierr == 0) bunch::initr2(ierr);
            if (ierr == 0) bunch::inimo2(ierr);
            if (ierr == 0)
                comand = "tracker";
            else
                failed = true;
        }
        parallel::sencmd(comand);  // the command goes to every slave
        if (comand == "stopp") return failed ? 1 : 0;

        // Tracking run.
        ierr = 0;
        parallel::tracom();  // the run state goes to every slave
        // time loop: omoni0, ttrack, errsum += derr, omonit, steper
        {
            // The first pass is the zero-length step at the bunch time: it
            // computes the start forces and writes the start-time monitors.
            double ctnext = bunch::prtcls.ctptcl;
            ftypes::Logical reset = true, lstep = true;
            std::int32_t steperr = 0;
            do {
                double derr = 0.0;
                bunch::omoni0(ctnext, ierr);
                bunch::ttrack(ctnext, derr, steperr);
                bunch::tr3com.errsum += derr;
                bunch::omonit(ierr);
                if (steperr != 0) break;  // a failed force evaluation ends the run
                bunch::steper(ctnext, reset, lstep);
            } while (lstep);
            if (steperr != 0) {
                logpri("error in tarvel: tracking run stopped, force evaluation failed");
                ierr = 1;
            } else if (bunch::stpfai()) {
                logpri("error in tarvel: tracking run stopped before its end time");
                ierr = 1;
            } else if (ierr == 0 && bunch::omofai() != 0) {
                logpri("error in tarvel: tracking run stopped, online monitor output incomplete");
                ierr = 1;
            }
        }
        if (ierr != 0) {
            comand = "stopp";
            parallel::sencmd(comand);  // after a failed tracking run
            return 1;
        }
        log_step_error(bunch::tr3com.errsum);
        reading = true;
    }
}

}  // namespace run
