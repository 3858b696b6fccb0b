// The master's driver: start-up, the read loop over the layers of the deck,
// the action point and the tracking run, and the banner.
#include "run/driver.hpp"

#include <string>

#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "fieldlib/version.hpp"
#include "forces/fcdiag.hpp"
#include "forces/force.hpp"
#include "forces/force3.hpp"
#include "forces/version.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/iopath.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/lattice.hpp"
#include "parallel/cmplib.hpp"
#include "run/deckfiles.hpp"
#include "run/tracom.hpp"

namespace run {

using foundation::cut;
using foundation::fmt_i;
using foundation::ld_line;
using foundation::ld_real;
using foundation::logpri;

namespace {

// Drops the stored Green's function of work and both stored force sets, so
// that the next step recomputes them for the changed lattice, bunch or model.
void drop_stored_fields(forces::ModelWork& work) {
    forces::gmeshi(work);
    bunch::forcs2.ctfi = ftypes::UNDEF_REAL;
    bunch::forcs2.ctfk = ftypes::UNDEF_REAL;
}

// Logs the integrated step error of the tracking runs so far.
void log_step_error(double errsum) {
    foundation::log_line(ld_line({"integrated step error=", ld_real(errsum)}));
}

}  // namespace

void verifo() {
    const std::string rule(54, '-');
    const std::string indent(11, ' ');
    auto line = [](const std::string& s) { foundation::log_line(s); };

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

namespace {

// Places the bunch on the lattice (next boundaries, curvature tables,
// reference crossing times).
void place_bunch(std::int32_t& ierr) {
    auto& b = bunch::prtcls;
    lattice::inila2(foundation::particles(b.xptcl, b.npart), foundation::indices(b.iptcl, b.npart),
                    b.ctptcl, b.p0, b.lfbidx, ierr);
}

// The layer commands. A handler reads its layer and leaves the status in
// ierr; the read loop goes on with the next command after a success, unless
// the command ends the reading ("exit", "tracker": the action point). A
// layer that changes the lattice, the bunch or the model drops the stored
// fields after it is read, whatever its status.
struct Layer {
    std::string_view word;
    void (*read)(std::int32_t& ierr);
    bool ends_reading;
    bool drops_stored_fields = false;
};

void layer_exit(std::int32_t& ierr) {
    foundation::fiexit(ierr);
    // close every online-monitor file
    std::int32_t st = 0;
    bunch::eximon(0, st);
    ierr += st;
}

void layer_particles(std::int32_t& ierr) {
    // a new bunch: the online monitors, stored fields and the integrated
    // step error of the old one are dropped
    bunch::lypart(ierr);
    std::int32_t st = 0;
    bunch::eximon(0, st);
    if (ierr == 0) ierr = st;
    bunch::tr3com.errsum = 0.0;
}

void layer_monitor(std::int32_t& ierr) {
    place_bunch(ierr);
    if (ierr == 0) bunch::lymoni(ierr);
}

constexpr Layer layers[] = {
    {"exit", &layer_exit, true},
    {"io_path", &foundation::lyriop, false},
    {"lattice", &lattice::lylatt, false, true},
    {"particles", &layer_particles, false, true},
    {"monitor", &layer_monitor, false},
    {"online_monitor", &bunch::lyomon, false},
    {"forces", &forces::lyforc, false, true},
    {"track_step", &bunch::lytrst, false},
    {"track_accuracy", &foundation::lydumy, false},
    {"tracker", &bunch::lytrck, true},
};

// Start-up: each step only while the status is 0; the banner on success.
void start_up(forces::ModelWork& work, std::int32_t& ierr) {
    constexpr std::string_view deck = "tarvel.in";
    foundation::fiinit(std::string(deck), static_cast<int>(deck.size()), ierr);
    if (ierr == 0) foundation::inprsr(ierr);
    // start values of the lattice, bunch, tracker, force and monitor records
    if (ierr == 0) lattice::inilat(ierr);
    if (ierr == 0) bunch::iniprt(ierr);
    if (ierr == 0) bunch::initrk(ierr);
    if (ierr == 0) forces::inifrc(ierr);
    if (ierr == 0) bunch::inimon(ierr);
    if (ierr == 0) {
        // forcei with work, unless a stand-in model of the tests is installed
        if (!bunch::has_force_entry()) bunch::set_force_entry(&forces::force_entry, &work);
        drop_stored_fields(work);
        verifo();
        // the files of the whole deck, before any layer is carried out
        ierr = check_deck_outputs(foundation::scan_deck(std::string(deck)));
    }
}

// Reads layer commands until the action point; returns the pending action
// ("tracker", "exit" or none) and leaves the status in ierr.
std::string read_layers(forces::ModelWork& work, std::int32_t& ierr) {
    for (;;) {
        std::string commid;  // the layer word just read
        ierr = 0;
        foundation::getcmd(commid, ierr);
        if (ierr != 0) return {};
        const Layer* layer = nullptr;
        for (const Layer& l : layers)
            if (commid == l.word) layer = &l;
        if (layer == nullptr) {
            foundation::log_where("unknown layer " + foundation::quoted(commid));
            logpri("error in tarvel: unknown layer command");
            ierr = 1;
            return {};
        }
        layer->read(ierr);
        if (layer->drops_stored_fields) drop_stored_fields(work);
        if (layer->ends_reading) {
            // "exit" is pending whatever its status; "tracker" only on success
            return (layer->word == "exit" || ierr == 0) ? std::string(layer->word) : std::string();
        }
        if (ierr != 0) return {};
    }
}

// The tracking run: the run state to every slave, then the time loop
// (omoni0, ttrack, errsum += derr, omonit, steper, step_hook). Status 1
// after the run's last line when it failed.
std::int32_t tracking_run(forces::ModelWork& work, StepHook step_hook) {
    std::int32_t ierr = 0;
    forces::diaini(work);
    tracom(work);  // the run state goes to every slave
    // The first pass is the zero-length step at the bunch time: it computes
    // the start forces and writes the start-time monitors.
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
        if (step_hook != nullptr) step_hook();
    } while (lstep);
    if (steperr != 0) {
        logpri("error in tarvel: tracking run stopped; last step's output not valid");
        ierr = 1;
    } else if (bunch::stpfai()) {
        logpri("error in tarvel: tracking run stopped before its end time");
        ierr = 1;
    } else {
        // the run reached its end time; an online output failed (the last
        // step's or an earlier one)
        if (ierr != 0 || bunch::omofai() != 0) {
            logpri("error in tarvel: tracking run complete, online monitor output incomplete");
            ierr = 1;
        }
        // a diagnostic file of the force models was not written (its
        // evaluation's forces were used)
        if (forces::diafai(work) != 0) {
            logpri("error in tarvel: tracking run complete, diagnostic output incomplete");
            ierr = 1;
        }
    }
    return ierr;
}

// The exit code of the run: 1 after a failure, also when a summary file
// could not be written (a line says which), and when the log file lost
// lines (a line on standard output says so last).
std::int32_t finish(bool failed) {
    for (const std::string& name : foundation::unwritten_files()) {
        logpri("error in tarvel: " + name + " could not be written");
        failed = true;
    }
    if (foundation::log_file_failed()) {
        foundation::stdout_line(" error in tarvel: lines of the log are missing in " + foundation::failed_log_file());
        return 1;
    }
    return failed ? 1 : 0;
}

}  // namespace

std::int32_t tarvel(forces::ModelWork& work, StepHook step_hook) {
    bool failed = false;  // the run ended through a failure: nonzero exit code
    std::int32_t ierr = 0;
    start_up(work, ierr);
    bool reading = (ierr == 0);
    if (!reading) failed = true;

    for (;;) {
        std::string action;  // pending action: "tracker", "exit" or none
        if (reading) action = read_layers(work, ierr);
        // a nonzero status here (also of "exit") means the run failed
        if (ierr != 0) failed = true;

        // Action point.
        verifo();
        std::string comand = "stopp";  // command for the slaves: "stopp" or "tracker"
        if (action == "tracker") {
            ierr = 0;
            // tracker set-up: inila2, initr2, inimo2 and the output checks, each only if the one before succeeded
            place_bunch(ierr);
            if (ierr == 0) bunch::initr2(ierr);
            if (ierr == 0) bunch::inimo2(ierr);
            // the outputs of the run can be written: refused now, not after the run
            if (ierr == 0) foundation::check_output_folder(ierr);
            if (ierr == 0) bunch::omochk(ierr);
            // a Green's function of the first step whose work is refused: now, not in the run
            if (ierr == 0) forces::green_check(work, ierr);
            if (ierr == 0)
                comand = "tracker";
            else
                failed = true;
        }
        parallel::sencmd(comand);  // the command goes to every slave
        if (comand == "stopp") return finish(failed);

        if (tracking_run(work, step_hook) != 0) {
            parallel::sencmd(std::string("stopp"));  // after a failed tracking run
            return finish(true);
        }
        log_step_error(bunch::tr3com.errsum);
        reading = true;
    }
}

}  // namespace run
