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
#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/table.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/latcom.hpp"
#include "lattice/track.hpp"
#include "parallel/process.hpp"

namespace bunch {

Trkcom trkcom;
Tr2com tr2com;
Tr3com tr3com;
Forcs2 forcs2;

namespace {

using ftypes::Logical;
using ftypes::UNDEF_REAL;

using foundation::log_line;

// A list-directed record "label value".
void log_real(std::string_view label, double v) { log_line(foundation::ld_line({label, foundation::ld_real(v)})); }
void log_int(std::string_view label, long long v) { log_line(foundation::ld_line({label, foundation::ld_int(v)})); }
void log_text(std::string_view text) { log_line(foundation::ld_line({text})); }

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
    // the start values of the track_step settings: chosen values, for
    // bunches of mm length in magnets of metres
    tr3com.error_per_ct = 0.001;         // accepted step error per metre of c*t
    tr3com.error_weight_momentum = 1.0;  // the momentum change weighs as much as the position's
    tr3com.ct_step_max = 0.1;            // m; largest step
    tr3com.ct_step_min = 0.01;           // m; smallest step (the arc limit may go below)
    tr3com.ct_step_first = 0.1;          // m; first step of a run
    tr3com.increase_factor = 2.0;        // a step at most doubles the one before
    tr3com.arc_factor = 0.5;             // steps up to half the overtaking length in a bend
    tr3com.steps_tolerance = 1e-05;      // m; a time-grid value this close counts as reached
    tr3com.maxit = 3;                    // repeated passes per stage of a step
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
    std::array<std::string, n> cval;
    std::array<Logical, n> lset{};

    trkcom.delta_time_c0 = UNDEF_REAL;
    trkcom.end_time_c0 = UNDEF_REAL;
    trkcom.end_time_shift_c0 = UNDEF_REAL;
    tr2com.end_time_marker = ftypes::UNDEF_NAME;

    foundation::read_block(cid, cval, lset, ierr);
    if (ierr == 0 && lset[0]) ierr = foundation::key_real(cid[0], cval[0], trkcom.end_time_c0);
    if (ierr == 0 && lset[1]) ierr = foundation::key_real(cid[1], cval[1], trkcom.delta_time_c0);
    if (ierr == 0 && lset[2]) tr2com.end_time_marker = cval[2];
    if (ierr == 0 && lset[3]) ierr = foundation::key_real(cid[3], cval[3], trkcom.end_time_shift_c0);
    if (ierr != 0) log_line("error in tracker");
}

// ---------------------------------------------------------------------------
// "track_step" layer and the time-grid file

namespace {

// Reads the time-grid file into ctgrid/ngrid. Status 0 on success. The unit
// is closed on every path once it was opened.
std::int32_t read_time_grid(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioin(name, unit, ierr);
    if (ierr != 0) return ierr;
    log_line("read time_grid_file");
    const std::string path = foundation::input_name(name);
    const foundation::TableRead r = foundation::read_increasing_table(
        unit, foundation::TableRows::values, 1, std::span<double>(tr3com.ctgrid.data(), cap::matist));
    const std::int32_t n = r.rows;
    switch (r.stop) {
        case foundation::TableStop::end:
            if (n == 0) log_line(path + " holds no value");
            break;
        case foundation::TableStop::too_many:
            log_line("too many points in time_grid_file: increase matist");
            break;
        case foundation::TableStop::decreasing:
            log_line("value " + std::to_string(n + 1) + " of " + path + ", " + foundation::short_real(r.row[0]) +
                     ", lies below value " + std::to_string(n) + ", " + foundation::short_real(tr3com.ctgrid(n)));
            log_line("values in time_grid_file not increasing");
            break;
        default:  // a record that does not read as a number
            log_line("value " + std::to_string(n + 1) + " of " + path + " is not a number");
            break;
    }
    std::int32_t ic = 0;
    foundation::ficin(unit, ic);
    if (r.stop != foundation::TableStop::end) return 1;
    if (n == 0) return 1;
    if (ic != 0) return ic;
    tr3com.ngrid = n;
    return 0;
}

}  // namespace

namespace {

// The keys of a "track_step" block, one value each.
enum StepKey { kpre, kit, kerr, kmax, kmin, kfirst, kduty, kinc, karc, kgrid, ktol, kwgt, nstepkeys };
constexpr std::array<std::string_view, nstepkeys> step_keys = {
    "precondition",    "iterative",      "error_per_ct",   "ct_step_max",
    "ct_step_min",     "ct_step_first",  "duty_steps",     "increase_factor",
    "arc_factor",      "time_grid_file", "steps_tolerance", "error_weight_momentum"};

// The values of one "track_step" block. The steps below store the given
// keys in tr3com in the layer's order and return 0, or the status of the
// first failure after its own line.
struct StepBlock {
    std::array<std::string, nstepkeys> cval;
    std::array<Logical, nstepkeys> lset{};

    bool given(StepKey key) const { return lset[std::size_t(key)]; }
    const std::string& val(StepKey key) const { return cval[std::size_t(key)]; }
    std::int32_t real(StepKey key, double& x) const { return foundation::key_real(step_keys[key], val(key), x); }
    // A value out of its range: named with its key. Status 1.
    std::int32_t out_of_range(StepKey key, const std::string& range) const {
        foundation::log_key_value(step_keys[key], val(key), "must be " + range);
        return 1;
    }
    // A real setting: x := the value when it converts, then checked by ok.
    template <class Ok>
    std::int32_t setting(StepKey key, double& x, Ok ok, const std::string& range) const {
        double v = 0.0;
        if (std::int32_t s = real(key, v); s != 0) return s;
        x = v;
        return ok(v) ? 0 : out_of_range(key, range);
    }
};

// precondition, iterative, error_per_ct, error_weight_momentum.
std::int32_t step_iteration(const StepBlock& b) {
    if (b.given(kpre)) tr3com.precondition = (b.val(kpre) == "yes");
    if (b.given(kit)) {
        std::int32_t iv = 0;
        if (std::int32_t s = foundation::key_int(step_keys[kit], b.val(kit), iv); s != 0) return s;
        tr3com.maxit = iv;
        if (iv <= 0) return b.out_of_range(kit, "1 or more");
    }
    if (b.given(kerr))
        if (std::int32_t s = b.setting(kerr, tr3com.error_per_ct, [](double v) { return v > 0.0; }, "> 0"); s != 0)
            return s;
    if (b.given(kwgt))
        if (std::int32_t s = b.setting(kwgt, tr3com.error_weight_momentum, [](double v) { return v >= 0.0; }, ">= 0");
            s != 0)
            return s;
    return 0;
}

// ct_step_max, ct_step_min, ct_step_first: the smaller steps follow a new
// larger one when they are not given in the same block.
std::int32_t step_limits(const StepBlock& b) {
    auto& t = tr3com;
    if (b.given(kmax)) {
        double v = 0.0;
        if (std::int32_t s = b.real(kmax, v); s != 0) return s;
        t.ct_step_max = v;
        if (!b.given(kmin) && v < t.ct_step_min) t.ct_step_min = 0.5 * v;
        if (!b.given(kfirst) && v < t.ct_step_first) t.ct_step_first = v;
        if (!(v > 0.0)) return b.out_of_range(kmax, "> 0");
    }
    if (b.given(kmin)) {
        double v = 0.0;
        if (std::int32_t s = b.real(kmin, v); s != 0) return s;
        t.ct_step_min = v;
        if (!(v > 0.0 && v < t.ct_step_max))
            return b.out_of_range(kmin, "> 0 and < ct_step_max = " + foundation::short_real(t.ct_step_max));
        if (!b.given(kfirst) && t.ct_step_first < v) t.ct_step_first = v;
    }
    if (b.given(kfirst)) {
        double v = 0.0;
        if (std::int32_t s = b.real(kfirst, v); s != 0) return s;
        t.ct_step_first = v;
        if (!(v >= t.ct_step_min && v <= t.ct_step_max))
            return b.out_of_range(kfirst, "within ct_step_min..ct_step_max = " + foundation::short_real(t.ct_step_min) +
                                              ".." + foundation::short_real(t.ct_step_max));
    }
    return 0;
}

// duty_steps, increase_factor, arc_factor, time_grid_file, steps_tolerance.
std::int32_t step_growth_and_grid(const StepBlock& b) {
    auto& t = tr3com;
    if (b.given(kduty)) t.duty_steps = (b.val(kduty) == "yes");
    if (b.given(kinc))
        if (std::int32_t s = b.setting(kinc, t.increase_factor, [](double v) { return v >= 1.0; }, ">= 1"); s != 0)
            return s;
    if (b.given(karc))
        if (std::int32_t s = b.setting(karc, t.arc_factor, [](double v) { return v > 0.0 && v <= 1.0; }, "> 0 and <= 1");
            s != 0)
            return s;
    if (b.given(kgrid)) {
        t.lgrid = true;
        if (std::int32_t s = read_time_grid(b.val(kgrid)); s != 0) {
            t.lgrid = false;  // no half-read grid is ever used
            return s;
        }
    }
    if (b.given(ktol))
        if (std::int32_t s = b.setting(ktol, t.steps_tolerance, [](double v) { return v > 0.0; }, "> 0"); s != 0)
            return s;
    return 0;
}

}  // namespace

void lytrst(std::int32_t& ierr) {
    StepBlock b;
    tr3com.lgrid = false;
    foundation::read_block(step_keys, b.cval, b.lset, ierr);
    if (ierr == 0) ierr = step_iteration(b);
    if (ierr == 0) ierr = step_limits(b);
    if (ierr == 0) ierr = step_growth_and_grid(b);
    if (ierr != 0) log_line("error in track_step");
}

// ---------------------------------------------------------------------------
// Run set-up: end time and the run configuration

namespace {

// The configuration lines of the selected force model.
void log_model_lines(const ForceModel& model) {
    const auto& f = force_settings;
    switch (model.config) {
        case ConfigLines::no_force:
            log_text("without self force");
            break;
        case ConfigLines::projected: {
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
            break;
        }
        case ConfigLines::parallel: {
            Logical master;
            std::int32_t myproc = 1, nprocs = 1;
            parallel::cmpifo(master, myproc, nprocs);
            const std::string name(model.word);
            if (nprocs == 1) log_text("with '" + name + "' force");
            else log_line(foundation::ld_line({"with '" + name + "' force on ", foundation::ld_int(nprocs), " cpus"}));
            if (model.meshes) {
                log_real("sbox                 =", f.sbox);
                log_real("rbox                 =", f.rbox);
            }
            if (f.shield != 0.0) {
                log_real("shield               =", f.shield);
                log_real("shield_max           =", f.shield_max);
            }
            break;
        }
    }
}

}  // namespace

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
            log_line("no field boundary of the lattice carries the marker " + tr2com.end_time_marker.str());
            log_line("error: unknown marker for track time");
            ierr = 1;
        }
    }
    if (trkcom.end_time_c0 == UNDEF_REAL) {
        log_line("error: end time is undefined");
        ierr = 1;
    } else if (trkcom.end_time_c0 <= ctptcl) {
        log_line("the end time " + foundation::short_real(trkcom.end_time_c0) + " m is not after the bunch time " +
                 foundation::short_real(ctptcl) + " m");
        log_line("error: end time < particle time");
        ierr = 1;
    } else if (!tr3com.lgrid && (trkcom.end_time_c0 - ctptcl) / tr3com.ct_step_max > max_run_steps) {
        // An end time so far ahead, or a step limit so small, that the run
        // could never finish: refused instead of stepping for ever.
        log_line("error: end time lies more than 1e9 steps of ct_step_max ahead");
        ierr = 1;
    }
    const auto& f = force_settings;
    ForceType type = ForceType::none;
    const bool known = force_type_of(f.itype, type);
    if (!known || (!forcs2.entry_any_type && !force_model(type).built)) {
        const std::string name = known ? std::string(force_model(type).word) : "?";
        log_line("error: force type '" + name + "' is not available, no tracking run");
        ierr = 1;
    } else if (type != ForceType::none && lattice::latcom.nfb < 1) {
        // the force models evaluate their fields along the design path,
        // which runs through the lattice's field boundaries
        log_line("error: force type '" + std::string(force_model(type).word) +
                 "' needs a field boundary, no tracking run");
        ierr = 1;
    } else if (type != ForceType::none && tr3com.precondition && !forcs2.entry_any_type &&
               !force_model(force_model(type).precondition).built) {
        // the preconditioning stage needs its own model: never a silent
        // fallback to another one
        log_line("error: pre-conditioning model '" + std::string(force_model(force_model(type).precondition).word) +
                 "' is not available,");
        log_line("set 'precondition = no' in track_step, no tracking run");
        ierr = 1;
    }
    if (ierr != 0) return;

    log_line("");
    log_real("start time           =", ctptcl);
    log_real("tracking to end_time =", trkcom.end_time_c0);
    log_model_lines(force_model(type));
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
    log_line("");
}

// ---------------------------------------------------------------------------
// Time step

namespace {

using foundation::ConstForceView;
using foundation::ForceView;
using foundation::IndexView;
using foundation::ParticleView;

// One force evaluation of model m at the records P, IP into F. A failed
// evaluation leaves zero forces and counts in ierr.
void evaluate(ForceType m, ParticleView P, IndexView IP, double ct, ForceView F, std::int32_t& ierr) {
    std::int32_t status = 0;
    if (forcs2.entry != nullptr) forcs2.entry(forcs2.entry_context, m, P, IP, ct, F, status);
    else status = 1;
    if (status != 0) {
        std::fill(F.words().begin(), F.words().end(), 0.0);
        ierr = 1;
    }
}

template <class View>
void copy(const View& from, const View& to) {
    std::copy(from.words().begin(), from.words().end(), to.words().begin());
}

// Step error of the latest pass (2) against the one before (1).
double pass_error(ParticleView XP1, ParticleView XP2) {
    double e1 = 0.0, e2 = 0.0;
    error1(XP1, XP2, std::span<const Logical>(prtcls.lact.data(), std::size_t(XP1.size())), e1, e2);
    return e2 * tr3com.error_weight_momentum + e1;
}

// One stage of the iterated step: model m with its stored force set f (the
// start forces at ctf) moves the particles from ct to ctnew. f_start keeps
// the start forces; the end forces start from guess (zero when empty).
// Model m at the moved positions gives the end forces; the move is repeated
// from the start until the step error per step length is at most
// error_per_ct or maxit passes were made. With evaluate_last the last pass
// also evaluates the end forces before its error check (the preconditioning
// stage); otherwise a pass evaluates them only when another one follows.
// Returns with XP2, IP2 of forcs2.work holding the last move (when a move was
// made, that is ct < ctnew) and f the end forces. A failed evaluation ends
// the stage at once (ierr 1; f zero, its time ctf not advanced): the step
// makes no further evaluation and moves nothing.
struct Stage {
    ForceType m;
    double& ctf;
    ForceView f;
    ForceView f_start;
    ConstForceView guess;
    bool evaluate_last;
    std::string_view label;
};

void run_stage(const Stage& s, ParticleView P, IndexView IP, double ct, double ctnew, double& err,
               std::int32_t& ierr) {
    StepWork& w = forcs2.work;
    const std::int32_t n = P.size();
    const ParticleView XP1 = foundation::particles(w.XP1, n), XP2 = foundation::particles(w.XP2, n);
    const IndexView IP1 = foundation::indices(w.IP1, n), IP2 = foundation::indices(w.IP2, n);
    const double p0 = prtcls.p0;
    if (s.ctf != ct) {
        evaluate(s.m, P, IP, ct, s.f, ierr);
        if (ierr != 0) return;
        s.ctf = ct;
    }
    if (!(ct < ctnew)) return;
    copy(s.f, s.f_start);
    if (s.guess.empty()) std::fill(s.f.words().begin(), s.f.words().end(), 0.0);
    else std::copy(s.guess.words().begin(), s.guess.words().end(), s.f.words().begin());
    copy(IP, IP1);
    copy(P, XP1);
    lattice::trck3d(lattice::latcom, XP1, IP1, ct, ctnew, ct, ctnew, s.f_start, s.f, true, p0);
    evaluate(s.m, XP1, IP1, ctnew, s.f, ierr);
    if (ierr != 0) return;
    const double dct = ctnew - ct;
    for (int k = 1;; ++k) {
        copy(P, XP2);
        copy(IP, IP2);
        lattice::trck3d(lattice::latcom, XP2, IP2, ct, ctnew, ct, ctnew, s.f_start, s.f, true, p0);
        if (s.evaluate_last) evaluate(s.m, XP2, IP2, ctnew, s.f, ierr);
        if (ierr != 0) return;
        err = pass_error(XP1, XP2);
        log_real(s.label, err / dct);
        if (err / dct <= tr3com.error_per_ct || k >= tr3com.maxit) break;
        if (!s.evaluate_last) evaluate(s.m, XP2, IP2, ctnew, s.f, ierr);
        if (ierr != 0) return;
        copy(XP2, XP1);
        copy(IP2, IP1);
    }
}

}  // namespace

void set_force_entry(ForceEntry fn, void* context, bool any_type) {
    forcs2.entry = fn;
    forcs2.entry_context = context;
    forcs2.entry_any_type = any_type;
}

bool has_force_entry() { return forcs2.entry != nullptr; }

void itrack(ParticleView P, IndexView IP, double ct, double ctnew, double& ctfi, ForceView fi,
            double& ctfk, ForceView fk, double& err, std::int32_t& ierr) {
    err = 0.0;
    ierr = 0;
    ForceType m = ForceType::none;
    if (!force_type_of(force_settings.itype, m)) return;  // no such model
    if (m == ForceType::none) {
        if (ctnew > ct) lattice::trck3d(lattice::latcom, P, IP, ct, ctnew, ct, ctnew, {}, {}, false, prtcls.p0);
        return;
    }
    StepWork& w = forcs2.work;
    const std::int32_t n = P.size();
    const ForceType pm = force_model(m).precondition;
    const bool stage1 = tr3com.precondition || pm == m;

    // Preconditioning stage (the only stage when it is the selected model).
    if (stage1)
        run_stage({pm, ctfi, fi, foundation::forces_of(w.FI1, n), {}, true,
                   pm == m ? "                   step_error/step_time="
                           : "               *** step_error/step_time="},
                  P, IP, ct, ctnew, err, ierr);
    if (ierr != 0) return;  // the step stops at its first failed evaluation
    if (pm == m) {
        ctfk = ctnew;
        copy(fi, fk);
        if (ctnew > ct) {
            copy(foundation::particles(w.XP2, n), P);
            copy(foundation::indices(w.IP2, n), IP);
            ctfi = ctnew;
        }
        return;
    }

    // Selected-model stage: the first guess of its end forces is the first
    // stage's result when preconditioning, else zero.
    run_stage({m, ctfk, fk, foundation::forces_of(w.FK1, n),
               tr3com.precondition ? ConstForceView(fi) : ConstForceView(), false,
               "                   step_error/step_time="},
              P, IP, ct, ctnew, err, ierr);
    if (ct >= ctnew || ierr != 0) return;
    ctfk = ctnew;
    copy(foundation::particles(w.XP2, n), P);
    copy(foundation::indices(w.IP2, n), IP);
    // Without the preconditioning stage fi was not advanced; its time stays.
    if (stage1) ctfi = ctnew;
}

void ttrack(double ctnext, double& derr, std::int32_t& ierr) {
    const std::int32_t n = prtcls.npart;
    itrack(foundation::particles(prtcls.xptcl, n), foundation::indices(prtcls.iptcl, n), prtcls.ctptcl,
           ctnext, forcs2.ctfi, foundation::forces_of(forcs2.fi, n), forcs2.ctfk,
           foundation::forces_of(forcs2.fk, n), derr, ierr);
    prtcls.ctptcl = ctnext;
    if (ierr != 0) log_line("error in ttrack: force evaluation failed in the step to ct=" + foundation::fmt_f(ctnext, 10, 5));
}

// ---------------------------------------------------------------------------
// Step-size control

namespace {

// The step line: " ctstep=" step "---> ct=" time, fixed-point fields.
std::string step_line(double step, double ctnext) {
    return " ctstep=" + foundation::fmt_f(step, 8, 5) + " ---> ct=" + foundation::fmt_f(ctnext, 10, 5);
}

using foundation::far_time;

// The next duty boundary ahead of the bunch. False (with a warning) when
// the lattice cannot give its crossing times: then there is no duty time.
bool duty_query(std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax, std::int32_t& ifbmax) {
    std::int32_t ierr = 0;
    const std::int32_t n = prtcls.npart;
    lattice::latti2(foundation::particles(prtcls.xptcl, n), foundation::indices(prtcls.iptcl, n),
                    prtcls.ctptcl, prtcls.p0, ifbdut, lany, ctmin, ctmax, ifbmax, ierr);
    if (ierr != 0) {
        log_line("warning: crossing time of the duty boundary not found, no duty step");
        return false;
    }
    return lany;
}

// Duty time of a bunch standing at ct, determined afresh.
void duty_fresh(double ct) {
    StepControl& st = tr3com.state;
    std::int32_t ifbdut = 0, ifbmax = 0;
    bool lany = false;
    double ctmin = 0.0, ctmax = 0.0;
    if (!tr3com.duty_steps || !duty_query(ifbdut, lany, ctmin, ctmax, ifbmax)) {
        st.ctduty = far_time;
    } else if (ifbdut == ifbmax) {
        const double w = ctmax - ctmin;
        const double a = ctmin - 1e-10 - 0.01 * w;
        if (ct < a) {
            st.ctduty = a;
            st.iduty = 1;
        } else {
            st.ctduty = ctmax + 1e-10 + 0.1 * w;
            st.iduty = 2;
        }
    } else {
        st.ctduty = ctmax + 0.1 * (ctmax - ct);
        st.iduty = 2;
    }
    st.lreset = false;
    // A duty time that is not ahead of the bunch would end the run early:
    // none for this step, look again at the next one.
    if (st.ctduty <= ct) {
        st.ctduty = far_time;
        st.lreset = true;
    }
}

}  // namespace

double add_projected_steps(double s, double g, double d) {
    // Within one binade [2^e, 2^(e+1)) of the sum every value is a multiple
    // of its spacing u, so s + g rounds to s + (g rounded to a multiple of
    // u): the same increment at every addition, unless g/u ends in exactly
    // one half (then the rounding to even settles it after one addition,
    // the sum being an even multiple of u from there on). The additions
    // that stay inside a binade are therefore counted in integers; the one
    // that crosses into the next binade is made as it is.
    s = s + g;
    while (s < d) {
        const double next = s + g;
        const int e = std::ilogb(s);
        const double top = std::ldexp(1.0, e + 1);  // first value of the next binade
        if (next >= top || next == s || !std::isfinite(next) || e < -1000) {
            if (next == s) return s + std::ceil((d - s) / g) * g;  // g lost beside s: no progress
            s = next;
            continue;
        }
        const double u = std::ldexp(1.0, e - 52);  // spacing of the binade
        const auto si = static_cast<std::int64_t>(s / u);
        const double q = g / u;
        if (q - std::floor(q) == 0.5 && si % 2 != 0) {
            s = next;  // a tie rounded from an odd multiple: one addition first
            continue;
        }
        const auto di = static_cast<std::int64_t>((next - s) / u);  // the increment in units of u
        const std::int64_t ti = std::int64_t(1) << 53;              // top / u
        const std::int64_t kmax = (ti - 1 - si) / di;                // additions that stay below top
        std::int64_t k = kmax;
        if (d < top) {
            const auto need = static_cast<std::int64_t>(std::ceil(d / u)) - si;  // > 0, as s < d
            k = std::min(k, (need + di - 1) / di);
        }
        s = static_cast<double>(si + k * di) * u;
    }
    return s;
}

void stepr1(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    int i = 1;
    while (i <= tr3com.ngrid && !(tr3com.ctgrid(i) >= ct + tr3com.steps_tolerance)) ++i;
    if (i > tr3com.ngrid || tr3com.ctgrid(i) > trkcom.end_time_c0) {
        lstep = false;
    } else {
        ctnext = tr3com.ctgrid(i);
        lstep = true;
        log_line(step_line(ctnext - ct, ctnext) + "   (steps_file)");
    }
    tr3com.lduty = false;
    reset = false;
}

namespace {

// The bunch standing at the duty time ct: the next duty time, after the
// boundary (iduty 2) when the bunch stood before it (iduty 1), else before
// the next duty boundary ahead.
void duty_arrived(double ct) {
    StepControl& st = tr3com.state;
    log_int("--- duty --------------", st.iduty);
    std::int32_t ifbdut = 0, ifbmax = 0;
    bool lany = false;
    double ctmin = 0.0, ctmax = 0.0;
    if (!duty_query(ifbdut, lany, ctmin, ctmax, ifbmax)) {
        st.ctduty = far_time;
    } else if (st.iduty == 1) {
        st.ctduty = ctmax + 0.1 * (ctmax - ct);
        st.iduty = 2;
    } else if (ifbdut == ifbmax) {
        const double a = ctmin - 0.01 * (ctmax - ctmin);
        st.ctduty = a > ct ? a : ctmin;
        st.iduty = 1;
    } else {
        // the bunch already straddles the next duty boundary: land just
        // after its last particle has passed it
        st.ctduty = ctmax + 0.1 * (ctmax - ct);
        st.iduty = 2;
    }
    if (st.ctduty <= ct) {
        st.ctduty = far_time;
        st.lreset = true;
    }
}

// The exponent of the overtaking length's cube root: 1/3 to 7 digits. Kept
// as it stands: the arc limit, and with it every step it sets, follows
// from it to the last digit.
constexpr double cube_root_7_digits = 0.3333333;

// Arc limit of the step [m] from the radius of the section particle 1 is
// in: the radius recorded at its next boundary (boundary 1 before the
// first; none beyond the last boundary); far_time without one. It is
// arc_factor times the overtaking length (24 rmslon R^2)^(1/3), the arc
// over which the radiation of a point overtakes the bunch by its rms
// length (foundation::arc_slip).
double arc_limit() {
    const std::int32_t ifb = prtcls.iptcl(1, 1);
    const double r = (ifb >= 1 && ifb <= lattice::latcom.nfb) ? lattice::latcom.r(ifb) : 0.0;
    double larc = far_time;
    if (r != 0.0 && prtcls.rmslon != 0.0)  // radius squared first
        larc = tr3com.arc_factor * std::pow(foundation::arc_slip * prtcls.rmslon * (r * r), cube_root_7_digits);
    return larc;
}

// The next time from ct towards target (> ct) with the step h below hmax:
// the target when h reaches it; else the future steps are projected and h
// is shrunk in proportion when the last of them would be cut short by
// more than a quarter.
double landing(double ct, double target, double h, double hmax) {
    if (ct + h >= target) return target;
    const double d = target - ct;
    double s = h, g = h;
    do {
        const double gn = std::min(g * tr3com.increase_factor, hmax);
        if (gn == g) {
            // the projected step has stopped growing: the rest of the sum
            // adds g again and again
            s = add_projected_steps(s, g, d);
            break;
        }
        g = gn;
        s = s + g;
    } while (s < d);
    const double x = d + 0.25 * g;
    if (s > x) return ct + h * x / s;
    return ct + h;
}

}  // namespace

void stepr2(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    StepControl& st = tr3com.state;
    if (reset) {
        st.ctostp = tr3com.ct_step_first / tr3com.increase_factor;
        st.lreset = false;
    }
    if (reset || st.lreset) duty_fresh(ct);
    tr3com.lduty = (ct == st.ctduty);
    if (tr3com.lduty) duty_arrived(ct);
    rmspar(foundation::particles(prtcls.xptcl, prtcls.npart),
           std::span<const Logical>(prtcls.lact.data(), std::size_t(prtcls.npart)), prtcls.rmslon,
           prtcls.rmsrad, prtcls.rmsver);
    const double larc = arc_limit();

    const double target = std::min(st.ctduty, trkcom.end_time_c0);
    if (target <= ct) {
        ctnext = ct;
        lstep = false;
    } else {
        const double hmax = std::min(tr3com.ct_step_max, larc);
        const double h = std::min(std::max(st.ctostp * tr3com.increase_factor, tr3com.ct_step_min), hmax);
        ctnext = landing(ct, target, h, hmax);
        lstep = true;
    }
    st.ctostp = ctnext - ct;
    reset = false;
    log_line(step_line(ctnext - ct, ctnext));
}

void steper(double& ctnext, Logical& reset, Logical& lstep) {
    const double ct = prtcls.ctptcl;
    const bool first = reset;
    if (tr3com.lgrid) stepr1(ctnext, reset, lstep);
    else stepr2(ctnext, reset, lstep);
    // A step too small to change the bunch time in floating point would
    // repeat for ever: the run ends there, as a failure.
    tr3com.state.stalled = lstep && !(ctnext > ct);
    if (tr3com.state.stalled) {
        foundation::logpri("error in steper: the step does not advance c*t, run stopped");
        ctnext = ct;
        lstep = false;
    }
    // A time grid without a single value for this run (all in the past or
    // within steps_tolerance of the bunch time, or beyond the end time)
    // tracks nothing: a failure, not a run that reached its end.
    if (first && tr3com.lgrid && !lstep) {
        log_line("error in steper: no time-grid value for this run, nothing tracked");
        log_line("  a grid value is needed from c*t " + foundation::fmt_f(ct + tr3com.steps_tolerance, 10, 5) +
                 " to " + foundation::fmt_f(trkcom.end_time_c0, 10, 5) + " m");
        tr3com.state.stalled = true;
    }
}

bool stpfai() { return tr3com.state.stalled; }

}  // namespace bunch
