// Tracking runs: the tracker settings ("tracker" and "track_step" layers),
// the run set-up, the iterated predictor/corrector time step and the
// step-size control. Master only.
#include "bunch/tracker.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "bunch/error.hpp"
#include "forces/force.hpp"
#include "include/forces.hpp"
#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/track.hpp"
#include "run/files.hpp"
#include "run/fortran_format.hpp"
#include "run/log.hpp"
#include "run/parser.hpp"
#include "run/process.hpp"

namespace bunch {

Trkcom trkcom;
Tr2com tr2com;
Tr3com tr3com;
Forcs2 forcs2;

namespace {

using ftypes::Logical;
using ftypes::UNDEF_REAL;

// A log line cut to the 72 characters of a message buffer.
void logl(std::string_view text) { run::logpri(run::cut(text, cap::loglen)); }

// A list-directed record "label value".
void log_real(std::string_view label, double v) { logl(run::ld_line({label, run::ld_real(v)})); }
void log_int(std::string_view label, long long v) { logl(run::ld_line({label, run::ld_int(v)})); }
void log_text(std::string_view text) { logl(run::ld_line({text})); }

// Force entry replacing forcei in tests (a stand-in model); none normally.
ForceFn force_hook = nullptr;

// Most adaptive steps a run may need at its largest step: beyond this the
// run is refused at its set-up.
constexpr double max_run_steps = 1e9;

}  // namespace

void initrk(std::int32_t& ierr) {
    trkcom.delta_time_c0 = UNDEF_REAL;
    trkcom.end_time_c0 = UNDEF_REAL;
    trkcom.end_time_shift_c0 = UNDEF_REAL;
    tr2com.end_time_marker = ftypes::UNDEF_NAME;
    forcs2.ctfi = UNDEF_REAL;
    forcs2.ctfk = UNDEF_REAL;
    tr3com.error_per_ct = 0.001;
    tr3com.error_weight_momentum = 1.0;
    tr3com.ct_step_max = 0.1;
    tr3com.ct_step_min = 0.01;
    tr3com.ct_step_first = 0.1;
    tr3com.increase_factor = 2.0;
    tr3com.arc_factor = 0.5;
    tr3com.steps_tolerance = 1e-05;
    tr3com.maxit = 3;
    tr3com.precondition = true;
    tr3com.duty_steps = true;
    tr3com.lgrid = false;
    ierr = 0;
}

// ---------------------------------------------------------------------------
// "tracker" layer

void lytrck(std::int32_t& ierr) {
    static constexpr int n = 4;
    static constexpr std::array<std::string_view, n> cid = {"end_time_c0", "delta_time_c0",
                                                            "end_time_marker", "end_time_shift_c0"};
    static constexpr std::array<int, n> nuval = {1, 2, 3, 4};
    static const std::array<Logical, n> lvalid = {true, true, true, true};
    static std::array<std::string, n> cval;
    static std::array<Logical, n> lset;
    static std::array<std::int32_t, n> vtype;

    trkcom.delta_time_c0 = UNDEF_REAL;
    trkcom.end_time_c0 = UNDEF_REAL;
    trkcom.end_time_shift_c0 = UNDEF_REAL;
    tr2com.end_time_marker = ftypes::UNDEF_NAME;

    run::assygn(run::getcmd, run::getagu, n, cid, nuval, n, cval, lvalid, lset, vtype, ierr);
    if (ierr == 0 && lset[0]) ierr = run::read_real(cval[0], trkcom.end_time_c0);
    if (ierr == 0 && lset[1]) ierr = run::read_real(cval[1], trkcom.delta_time_c0);
    if (ierr == 0 && lset[2]) tr2com.end_time_marker = cval[2];
    if (ierr == 0 && lset[3]) ierr = run::read_real(cval[3], trkcom.end_time_shift_c0);
    if (ierr != 0) logl("error in tracker");
}

// ---------------------------------------------------------------------------
// "track_step" layer and the time-grid file

namespace {

// Reads the time-grid file into ctgrid/ngrid. Status 0 on success. The unit
// is closed on every path once it was opened.
std::int32_t read_time_grid(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    run::fioin(name, unit, ierr);
    if (ierr != 0) return ierr;
    logl("read time_grid_file");
    std::int32_t n = 0, status = 0;
    for (;;) {
        double v = 0.0;
        int rs = run::read_reals_from_unit(unit, std::span<double>(&v, 1));
        if (rs < 0) break;  // end of file
        if (rs > 0) {       // a record that does not read as a number
            status = 1;
            break;
        }
        if (n >= cap::matist) {
            logl("too many points in time_grid_file: increase matist");
            status = 1;
            break;
        }
        if (n >= 1 && v < tr3com.ctgrid(n)) {
            logl("values in time_grid_file not increasing");
            status = 1;
            break;
        }
        ++n;
        tr3com.ctgrid(n) = v;
    }
    std::int32_t ic = 0;
    run::ficin(unit, ic);
    if (status != 0) return status;
    if (n == 0) return 1;
    if (ic != 0) return ic;
    tr3com.ngrid = n;
    return 0;
}

}  // namespace

void lytrst(std::int32_t& ierr) {
    static constexpr int n = 12;
    static constexpr std::array<std::string_view, n> cid = {
        "precondition",    "iterative",      "error_per_ct",   "ct_step_max",
        "ct_step_min",     "ct_step_first",  "duty_steps",     "increase_factor",
        "arc_factor",      "time_grid_file", "steps_tolerance", "error_weight_momentum"};
    static constexpr std::array<int, n> nuval = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    static const std::array<Logical, n> lvalid = {true, true, true, true, true, true,
                                                  true, true, true, true, true, true};
    static std::array<std::string, n> cval;
    static std::array<Logical, n> lset;
    static std::array<std::int32_t, n> vtype;
    enum { kpre, kit, kerr, kmax, kmin, kfirst, kduty, kinc, karc, kgrid, ktol, kwgt };

    tr3com.lgrid = false;
    run::assygn(run::getcmd, run::getagu, n, cid, nuval, n, cval, lvalid, lset, vtype, ierr);
    if (ierr != 0) {
        logl("error in track_step");
        return;
    }
    auto fail = [&](std::int32_t status) {
        ierr = status;
        logl("error in track_step");
    };
    double v = 0.0;
    std::int32_t iv = 0;
    if (lset[kpre]) tr3com.precondition = (cval[kpre] == "yes");
    if (lset[kit]) {
        if (std::int32_t s = run::read_int(cval[kit], iv); s != 0) return fail(s);
        tr3com.maxit = iv;
        if (iv <= 0) return fail(1);
    }
    if (lset[kerr]) {
        if (std::int32_t s = run::read_real(cval[kerr], v); s != 0) return fail(s);
        tr3com.error_per_ct = v;
        if (!(v > 0.0)) return fail(1);
    }
    if (lset[kwgt]) {
        if (std::int32_t s = run::read_real(cval[kwgt], v); s != 0) return fail(s);
        tr3com.error_weight_momentum = v;
        if (!(v >= 0.0)) return fail(1);
    }
    if (lset[kmax]) {
        if (std::int32_t s = run::read_real(cval[kmax], v); s != 0) return fail(s);
        tr3com.ct_step_max = v;
        // the smaller steps follow a new largest step when not given here
        if (!lset[kmin] && v < tr3com.ct_step_min) tr3com.ct_step_min = 0.5 * v;
        if (!lset[kfirst] && v < tr3com.ct_step_first) tr3com.ct_step_first = v;
        if (!(v > 0.0)) return fail(1);
    }
    if (lset[kmin]) {
        if (std::int32_t s = run::read_real(cval[kmin], v); s != 0) return fail(s);
        tr3com.ct_step_min = v;
        if (!(v > 0.0 && v < tr3com.ct_step_max)) return fail(1);
        if (!lset[kfirst] && tr3com.ct_step_first < v) tr3com.ct_step_first = v;
    }
    if (lset[kfirst]) {
        if (std::int32_t s = run::read_real(cval[kfirst], v); s != 0) return fail(s);
        tr3com.ct_step_first = v;
        if (!(v >= tr3com.ct_step_min && v <= tr3com.ct_step_max)) return fail(1);
    }
    if (lset[kduty]) tr3com.duty_steps = (cval[kduty] == "yes");
    if (lset[kinc]) {
        if (std::int32_t s = run::read_real(cval[kinc], v); s != 0) return fail(s);
        tr3com.increase_factor = v;
        if (!(v >= 1.0)) return fail(1);
    }
    if (lset[karc]) {
        if (std::int32_t s = run::read_real(cval[karc], v); s != 0) return fail(s);
        tr3com.arc_factor = v;
        if (!(v > 0.0 && v <= 1.0)) return fail(1);
    }
    if (lset[kgrid]) {
        tr3com.lgrid = true;
        if (std::int32_t s = read_time_grid(cval[kgrid]); s != 0) {
            tr3com.lgrid = false;  // no half-read grid is ever used
            return fail(s);
        }
    }
    if (lset[ktol]) {
        if (std::int32_t s = run::read_real(cval[ktol], v); s != 0) return fail(s);
        tr3com.steps_tolerance = v;
        if (!(v > 0.0)) return fail(1);
    }
    ierr = 0;
}

// ---------------------------------------------------------------------------
// Run set-up: end time and the run configuration

void initr2(std::int32_t& ierr) {
    ierr = 0;
    const double ctptcl = prtcls.ctptcl;
    if (trkcom.delta_time_c0 != UNDEF_REAL) trkcom.end_time_c0 = ctptcl + trkcom.delta_time_c0;
    if (!(tr2com.end_time_marker == ftypes::UNDEF_NAME)) {
        bool found = false;
        for (int i = 1; i <= lattice::latcom.nfb; ++i) {
            if (lattice::latmks.fbmark(i) == tr2com.end_time_marker) {
                trkcom.end_time_c0 = lattice::latcom.ctfb(i);
                if (trkcom.end_time_shift_c0 != UNDEF_REAL) trkcom.end_time_c0 += trkcom.end_time_shift_c0;
                found = true;
                break;
            }
        }
        if (!found) {
            logl("error: unknown marker for track time");
            ierr = 1;
        }
    }
    if (trkcom.end_time_c0 == UNDEF_REAL) {
        logl("error: end time is undefined");
        ierr = 1;
    } else if (trkcom.end_time_c0 <= ctptcl) {
        logl("error: end time < particle time");
        ierr = 1;
    } else if (!tr3com.lgrid && (trkcom.end_time_c0 - ctptcl) / tr3com.ct_step_max > max_run_steps) {
        // An end time so far ahead, or a step limit so small, that the run
        // could never finish: refused instead of stepping for ever.
        logl("error: end time lies more than 1e9 steps of ct_step_max ahead");
        ierr = 1;
    }
    const auto& f = forces::forces;
    if (force_hook == nullptr && !forces::force_model_available(f.itype)) {
        std::string name = (f.itype >= 0 && f.itype <= 5) ? std::string(forces::cforce[f.itype]) : "?";
        logl("error: force type '" + name + "' is not available, no tracking run");
        ierr = 1;
    } else if (f.itype >= 1 && f.itype <= 5 && lattice::latcom.nfb < 1) {
        // the force models evaluate their fields along the design path,
        // which runs through the lattice's field boundaries
        logl("error: force type '" + std::string(forces::cforce[f.itype]) +
             "' needs a field boundary, no tracking run");
        ierr = 1;
    }
    if (ierr != 0) return;

    logl("");
    log_real("start time           =", ctptcl);
    log_real("tracking to end_time =", trkcom.end_time_c0);
    if (f.itype == 0) {
        log_text("without self force");
    } else if (f.itype == 1) {
        log_text(f.lwake ? "with 'projected' force + wake" : "with 'projected' force");
        if (f.shield != 0.0) {
            log_real("  shield             =", f.shield);
            log_real("  shield_max         =", f.shield_max);
        }
        if (f.lwake) {
            log_real("  wake_sigma         =", f.sigwak);
            log_real("  wake_step          =", f.stpwak);
            log_int("  wake_index_low     =", f.n1wak);
            log_int("  wake_index_high    =", f.n2wak);
        }
        const double par[5] = {f.par1, f.par2, f.par3, f.par4, f.par5};
        for (int k = 0; k < 5; ++k) {
            if (par[k] == 0.0) continue;
            log_real("  par" + std::to_string(k + 1) + "               =", par[k]);
            if (k == 3) log_text("    csr_field :=csr_field *(1-par4)");
            if (k == 4) log_text("    wake_field:=wake_field*(1-par5)");
        }
    } else if (f.itype >= 2 && f.itype <= 5) {
        Logical master;
        std::int32_t myproc = 1, nprocs = 1;
        run::cmpifo(master, myproc, nprocs);
        const std::string name(forces::cforce[f.itype]);
        if (nprocs == 1) log_text("with '" + name + "' force");
        else logl(run::ld_line({"with '" + name + "' force on ", run::ld_int(nprocs), " cpus"}));
        if (f.itype == 3 || f.itype == 5) {
            log_real("sbox                 =", f.sbox);
            log_real("rbox                 =", f.rbox);
        }
        if (f.shield != 0.0) {
            log_real("shield               =", f.shield);
            log_real("shield_max           =", f.shield_max);
        }
    }
    if (tr3com.precondition) log_text("with pre-conditioning");
    if (tr3com.maxit > 1) {
        log_int("with iterative tracking, maxit=", tr3com.maxit);
        log_real("relative step_error/step_time =", tr3com.error_per_ct);
        log_real("weight of momentum error      =", tr3com.error_weight_momentum);
    }
    log_real("ct_step_min                   =", tr3com.ct_step_min);
    log_real("ct_step_max                   =", tr3com.ct_step_max);
    log_real("ct_step_first                 =", tr3com.ct_step_first);
    if (tr3com.duty_steps) log_text("with duty steps");
    log_real("increase_factor               =", tr3com.increase_factor);
    log_real("arc_factor                    =", tr3com.arc_factor);
    logl("");
}

// ---------------------------------------------------------------------------
// Time step

namespace {

// Work arrays of the step: the previous (1) and latest (2) move of the
// particles with their next-boundary pairs, and the start forces of the two
// stages. Static, sized for the largest bunch; nothing is allocated per step.
ftypes::Arr2<double, 7, cap::maxprt> XP1, XP2;
ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP1, IP2;
ftypes::Arr2<double, 3, cap::maxprt> FI1, FK1;

// Preconditioning model of each selected model 1..5.
constexpr std::array<std::int32_t, 6> precon_model = {0, 1, 4, 5, 1, 1};

// One force evaluation of model m into F(3,n). A failed evaluation leaves
// zero forces and counts in ierr.
void evaluate(std::int32_t m, int n, const double* XP, const std::int32_t* IP, double ct, double* F,
              std::int32_t& ierr) {
    std::int32_t status = 0;
    if (force_hook != nullptr) force_hook(m, XP, IP, ct, F, status);
    else forces::forcei(m, XP, IP, ct, F, status);
    if (status != 0) {
        std::fill(F, F + std::size_t(3) * std::size_t(n), 0.0);
        ierr = 1;
    }
}

template <class T>
void copy_n(const T* from, T* to, int n, int words) {
    std::copy(from, from + std::size_t(words) * std::size_t(n), to);
}

// Step error of the latest pass against the one before.
double pass_error(int n) {
    double e1 = 0.0, e2 = 0.0;
    error1(n, XP1.data(), XP2.data(), prtcls.lact.data(), e1, e2);
    return e2 * tr3com.error_weight_momentum + e1;
}

}  // namespace

void set_force_hook(ForceFn fn) { force_hook = fn; }

void itrack(int n, double* P, std::int32_t* IP, double ct, double ctnew, double& ctfi, double* fi,
            double& ctfk, double* fk, double& err, std::int32_t& ierr) {
    err = 0.0;
    ierr = 0;
    const std::int32_t m = forces::forces.itype;
    if (m == 0) {
        if (ctnew > ct) lattice::trck3d(n, P, IP, ct, ctnew, ct, ctnew, FI1.data(), FI1.data(), false);
        return;
    }
    if (m < 1 || m > 5) return;  // no such model
    const std::int32_t pm = precon_model[m];
    const double dct = ctnew - ct;
    const bool stage1 = tr3com.precondition || pm == m;

    // Preconditioning stage (the only stage when it is the selected model).
    if (stage1) {
        if (ctfi != ct) {
            evaluate(pm, n, P, IP, ct, fi, ierr);
            ctfi = ct;
        }
        if (ct < ctnew) {
            copy_n(fi, FI1.data(), n, 3);
            std::fill(fi, fi + std::size_t(3) * std::size_t(n), 0.0);
            copy_n(IP, IP1.data(), n, 2);
            copy_n(P, XP1.data(), n, 7);
            lattice::trck3d(n, XP1.data(), IP1.data(), ct, ctnew, ct, ctnew, FI1.data(), fi, true);
            evaluate(pm, n, XP1.data(), IP1.data(), ctnew, fi, ierr);
            for (int k = 1;; ++k) {
                copy_n(P, XP2.data(), n, 7);
                copy_n(IP, IP2.data(), n, 2);
                lattice::trck3d(n, XP2.data(), IP2.data(), ct, ctnew, ct, ctnew, FI1.data(), fi, true);
                evaluate(pm, n, XP2.data(), IP2.data(), ctnew, fi, ierr);
                err = pass_error(n);
                log_real(pm == m ? "                   step_error/step_time="
                                 : "               *** step_error/step_time=",
                         err / dct);
                if (err / dct <= tr3com.error_per_ct || k >= tr3com.maxit) break;
                copy_n(XP2.data(), XP1.data(), n, 7);
                copy_n(IP2.data(), IP1.data(), n, 2);
            }
        }
    }
    if (pm == m) {
        ctfk = ctnew;
        std::copy(fi, fi + std::size_t(3) * std::size_t(n), fk);
        if (ctnew > ct) {
            copy_n(XP2.data(), P, n, 7);
            copy_n(IP2.data(), IP, n, 2);
            ctfi = ctnew;
        }
        return;
    }

    // Selected-model stage.
    if (ctfk != ct) {
        evaluate(m, n, P, IP, ct, fk, ierr);
        ctfk = ct;
    }
    if (ct >= ctnew) return;
    copy_n(fk, FK1.data(), n, 3);
    if (tr3com.precondition) std::copy(fi, fi + std::size_t(3) * std::size_t(n), fk);
    else std::fill(fk, fk + std::size_t(3) * std::size_t(n), 0.0);
    copy_n(IP, IP1.data(), n, 2);
    copy_n(P, XP1.data(), n, 7);
    lattice::trck3d(n, XP1.data(), IP1.data(), ct, ctnew, ct, ctnew, FK1.data(), fk, true);
    evaluate(m, n, XP1.data(), IP1.data(), ctnew, fk, ierr);
    for (int k = 1;; ++k) {
        copy_n(P, XP2.data(), n, 7);
        copy_n(IP, IP2.data(), n, 2);
        lattice::trck3d(n, XP2.data(), IP2.data(), ct, ctnew, ct, ctnew, FK1.data(), fk, true);
        err = pass_error(n);
        log_real("                   step_error/step_time=", err / dct);
        if (err / dct <= tr3com.error_per_ct || k >= tr3com.maxit) break;
        evaluate(m, n, XP2.data(), IP2.data(), ctnew, fk, ierr);
        copy_n(XP2.data(), XP1.data(), n, 7);
        copy_n(IP2.data(), IP1.data(), n, 2);
    }
    ctfk = ctnew;
    copy_n(XP2.data(), P, n, 7);
    copy_n(IP2.data(), IP, n, 2);
    // Without the preconditioning stage fi was not advanced; its time stays.
    if (stage1) ctfi = ctnew;
}

void ttrack(double ctnext, double& derr, std::int32_t& ierr) {
    itrack(prtcls.npart, prtcls.xptcl.data(), prtcls.iptcl.data(), prtcls.ctptcl, ctnext, forcs2.ctfi,
           forcs2.fi.data(), forcs2.ctfk, forcs2.fk.data(), derr, ierr);
    prtcls.ctptcl = ctnext;
    if (ierr != 0) logl("error in ttrack: force evaluation failed, zero forces used");
}

// ---------------------------------------------------------------------------
// Step-size control

namespace {

// The step line: " ctstep=" step "---> ct=" time, fixed-point fields.
std::string step_line(double step, double ctnext) {
    return " ctstep=" + run::fmt_f(step, 8, 5) + " ---> ct=" + run::fmt_f(ctnext, 10, 5);
}

// Statics of the adaptive rule, kept between calls and runs.
double CTOSTP = 0.0;      // last step length [m]
double CTDUTY = 1e+300;   // next duty time [m]; 1e300 = none
std::int32_t IDUTY = 0;   // 1: duty time before a boundary, 2: after it
bool LRESET = false;      // recompute the duty time at the next call

// The next duty boundary ahead of the bunch. False (with a warning) when
// the lattice cannot give its crossing times: then there is no duty time.
bool duty_query(std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax, std::int32_t& ifbmax) {
    std::int32_t ierr = 0;
    lattice::latti2(ifbdut, lany, ctmin, ctmax, ifbmax, ierr);
    if (ierr != 0) {
        logl("warning: crossing time of the duty boundary not found, no duty step");
        return false;
    }
    return lany;
}

// Duty time of a bunch standing at ct, determined afresh.
void duty_fresh(double ct) {
    std::int32_t ifbdut = 0, ifbmax = 0;
    bool lany = false;
    double ctmin = 0.0, ctmax = 0.0;
    if (!tr3com.duty_steps || !duty_query(ifbdut, lany, ctmin, ctmax, ifbmax)) {
        CTDUTY = 1e+300;
    } else if (ifbdut == ifbmax) {
        const double w = ctmax - ctmin;
        const double a = ctmin - 1e-10 - 0.01 * w;
        if (ct < a) {
            CTDUTY = a;
            IDUTY = 1;
        } else {
            CTDUTY = ctmax + 1e-10 + 0.1 * w;
            IDUTY = 2;
        }
    } else {
        CTDUTY = ctmax + 0.1 * (ctmax - ct);
        IDUTY = 2;
    }
    LRESET = false;
}

}  // namespace

void stepr1(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    int i = 1;
    while (i <= tr3com.ngrid && !(tr3com.ctgrid(i) >= ct + tr3com.steps_tolerance)) ++i;
    if (i > tr3com.ngrid || tr3com.ctgrid(i) > trkcom.end_time_c0) {
        lstep = false;
    } else {
        ctnext = tr3com.ctgrid(i);
        lstep = true;
        logl(step_line(ctnext - ct, ctnext) + "   (steps_file)");
    }
    tr3com.lduty = false;
    reset = false;
}

void stepr2(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    if (reset) {
        CTOSTP = tr3com.ct_step_first / tr3com.increase_factor;
        LRESET = false;
    }
    if (reset || LRESET) {
        duty_fresh(ct);
        // A duty time that is not ahead of the bunch would end the run
        // early: none for this step, look again at the next one.
        if (CTDUTY <= ct) {
            CTDUTY = 1e+300;
            LRESET = true;
        }
    }
    tr3com.lduty = (ct == CTDUTY);
    if (tr3com.lduty) {
        log_int("--- duty --------------", IDUTY);
        std::int32_t ifbdut = 0, ifbmax = 0;
        bool lany = false;
        double ctmin = 0.0, ctmax = 0.0;
        if (!duty_query(ifbdut, lany, ctmin, ctmax, ifbmax)) {
            CTDUTY = 1e+300;
        } else if (IDUTY == 1) {
            CTDUTY = ctmax + 0.1 * (ctmax - ct);
            IDUTY = 2;
        } else if (ifbdut == ifbmax) {
            const double a = ctmin - 0.01 * (ctmax - ctmin);
            CTDUTY = a > ct ? a : ctmin;
            IDUTY = 1;
        } else {
            // the bunch already straddles the next duty boundary: land just
            // after its last particle has passed it
            CTDUTY = ctmax + 0.1 * (ctmax - ct);
            IDUTY = 2;
        }
        if (CTDUTY <= ct) {
            CTDUTY = 1e+300;
            LRESET = true;
        }
    }
    rmspar(prtcls.npart, prtcls.xptcl.data(), prtcls.lact.data(), prtcls.rmslon, prtcls.rmsrad,
           prtcls.rmsver);

    // Arc limit from the radius of the section particle 1 is in: the radius
    // recorded at its next boundary (boundary 1 before the first; none
    // beyond the last boundary).
    const std::int32_t ifb = prtcls.iptcl(1, 1);
    const double r = (ifb >= 1 && ifb <= lattice::latcom.nfb) ? lattice::latcom.fb(8, ifb) : 0.0;
    double larc = 1e+300;
    if (r != 0.0 && prtcls.rmslon != 0.0)
        larc = tr3com.arc_factor * std::pow(24.0 * prtcls.rmslon * (r * r), 0.3333333);  // radius squared first

    const double target = std::min(CTDUTY, trkcom.end_time_c0);
    if (target <= ct) {
        ctnext = ct;
        lstep = false;
    } else {
        const double hmax = std::min(tr3com.ct_step_max, larc);
        const double h = std::min(std::max(CTOSTP * tr3com.increase_factor, tr3com.ct_step_min), hmax);
        if (ct + h >= target) {
            ctnext = target;
        } else {
            // project the future steps and shrink this one in proportion
            // when the last of them would be cut short by more than a quarter
            const double d = target - ct;
            double s = h, g = h;
            long long guard = 0;
            do {
                g = std::min(g * tr3com.increase_factor, hmax);
                s = s + g;
                // Far from the target with steps at their limit the sum
                // only grows by hmax: finish it in one stroke instead of
                // looping for as many steps as the run has left.
                if (++guard > 1000000 && g == hmax && s < d) {
                    s += std::ceil((d - s) / hmax) * hmax;
                    break;
                }
            } while (s < d);
            const double x = d + 0.25 * g;
            if (s > x) ctnext = ct + h * x / s;
            else ctnext = ct + h;
        }
        lstep = true;
    }
    CTOSTP = ctnext - ct;
    reset = false;
    logl(step_line(ctnext - ct, ctnext));
}

namespace {
bool step_stalled = false;  // the last step could not advance c*t
}  // namespace

void steper(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    if (tr3com.lgrid) stepr1(ctnext, reset, lstep);
    else stepr2(ctnext, reset, lstep);
    // A step too small to change the bunch time in floating point would
    // repeat for ever: the run ends there, as a failure.
    step_stalled = lstep && !(ctnext > ct);
    if (step_stalled) {
        run::logpri("error in steper: the step does not advance c*t, run stopped");
        ctnext = ct;
        lstep = false;
    }
}

bool stpfai() { return step_stalled; }

}  // namespace bunch
