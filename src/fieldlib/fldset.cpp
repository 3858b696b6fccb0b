// Settings of the field library: finit with its defaults, names and check.
#include <cmath>
#include <string>

#include "fieldlib/field.hpp"
#include "fieldlib/fldint.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/platform.hpp"

namespace fieldlib {

namespace {

// A logical setting given as a real: true only when its nearest integer
// (halves away from zero) is 1.
bool is_one(double v) { return v >= 0.5 && v < 1.5; }

// Height [m] up to which plate images are summed when none is given: a
// chosen value (the force models always give theirs, shield_max).
constexpr double default_hmax = 0.5;

// The transverse method lives in fcdata.method alone: only finit sets it.
void set_method(Fcdata& fc, std::int32_t m) { fcoini(fc, "method", double(m)); }

void ribbon_vertical(Fcdata& fc) {
    fcoini(fc, "ex", 0.0);
    fcoini(fc, "ey", 0.0);
    fcoini(fc, "ez", 1.0);
}

void store(FinitState& fst, double& field, FinitSlot slot, double value) {
    field = value;
    fst.lset[slot] = true;
}

// The required settings, each kept only while given and valid (a NaN fails
// every test); on a failure the list of failing settings ends the job.
void check(Context& cx) {
    const auto& setup = cx.setup;
    const auto& a = cx.acclim;
    const auto& fcdata = cx.fcdata;
    bool* f = cx.fst.lset;
    f[Shc] = f[Shc] && setup.hc >= 0.0;
    f[Sq0] = f[Sq0] && setup.q0 > 0.0;
    f[Ssigmat] = f[Ssigmat] && setup.sigmat > 0.0;
    f[Sxnsigt] = f[Sxnsigt] && setup.xnsigt >= 0.0;
    f[SRintmi] = f[SRintmi] && a.Rintmi > 0.0 && a.Rintmi < a.Rintma;
    f[SRintma] = f[SRintma] && f[SRintmi];
    f[SSlow] = f[SSlow] && a.Shigh > a.Slow;
    f[SShigh] = f[SShigh] && f[SSlow];
    f[Ssstpma] = f[Ssstpma] && a.sstpma > 0.0;
    f[Srelacc] = f[Srelacc] && a.relacc > 0.0;
    // the elliptical model needs both sizes (its offset sum has no step
    // without them); the ribbon and the round bunch of no size are the
    // thin line
    const std::int32_t m = fcdata.method;
    const bool sz_ok = m != 3 || fcdata.sigmaz > 0.0;
    const bool sr_ok = m != 3 || fcdata.sigmar > 0.0;
    bool all = sz_ok && sr_ok;
    for (bool b : cx.fst.lset) all = all && b;
    if (all) return;
    // what the forces layer's keys would mend: rintmi against the design
    // path's range, the sub-bunch duration sigma_long/(beta c)
    if (!f[SRintmi] && a.Rintmi >= a.Rintma)
        foundation::stdout_line(" rintmi = " + foundation::short_real(a.Rintmi) + " m is not below Rintma = " +
                                foundation::short_real(a.Rintma) +
                                " m, half the design path's range: give rintmi well below it");
    if (!(setup.sigmat >= 0.0))
        foundation::stdout_line(" sigmat = sigma_long/(beta c) = " + foundation::short_real(setup.sigmat) +
                                " s is not > 0: particle 1 is too slow or moving backward for the sub-bunch model");
    fieldp("error in finit: undefined setings");
    struct Line {
        bool ok;
        const char* label;
        double value;
    };
    const Line lines[] = {
        {f[Shc], "undefined hc    =", setup.hc},
        {f[Sq0], "undefined q0    =", setup.q0},
        {f[Ssigmat], "undefined sigmat=", setup.sigmat},
        {f[Sxnsigt], "undefined xnsigt=", setup.xnsigt},
        {f[SRintmi], "undefined Rintmi=", a.Rintmi},
        {f[SRintma], "undefined Rintma=", a.Rintma},
        {f[SSlow], "undefined Slow  =", a.Slow},
        {f[SShigh], "undefined Shigh =", a.Shigh},
        {f[Ssstpma], "undefined sstpma=", a.sstpma},
        {f[Srelacc], "undefined relacc=", a.relacc},
        {sz_ok, "undefined sigmaz=", fcdata.sigmaz},
        {sr_ok, "undefined sigmar=", fcdata.sigmar},
    };
    const Line* last = nullptr;
    for (const Line& l : lines) {
        if (l.ok) continue;
        if (last) foundation::stdout_line(foundation::ld_line({last->label, foundation::ld_real(last->value)}));
        last = &l;
    }
    foundation::fatal_stop(foundation::ld_line({last->label, foundation::ld_real(last->value)}));
}

}  // namespace

void fieldp(std::string_view text) { foundation::stdout_line(foundation::ld_line({text})); }

namespace {

// The transverse model's settings; false for any other name.
bool transverse_setting(Fcdata& fc, std::string_view name, double value) {
    if (name == "method") {
        // a negative value, or one whose nearest integer is above 3 (or a
        // NaN), is ignored
        if (!(value >= 0.0 && value < 3.5)) return true;
        set_method(fc, static_cast<std::int32_t>(value + 0.5));
        if (fc.method == 1) ribbon_vertical(fc);
    } else if (name == "sigmaz") {
        if (value <= 0.0) {
            set_method(fc, 0);
        } else if (fc.method != 0) {
            fcoini(fc, "sigmaz", value);
        } else {
            set_method(fc, 1);
            fcoini(fc, "sigmaz", value);
            ribbon_vertical(fc);
        }
    } else if (name == "xnsigz") {
        // accepted, no effect
    } else if (name == "sigmar") {
        if (value > 0.0) {
            set_method(fc, 3);
            fcoini(fc, "sigmar", value);
        } else {
            set_method(fc, 0);
        }
    } else {
        return false;
    }
    return true;
}

// The bunch, shielding and accuracy settings, and "check"; false for any
// other name.
bool library_setting(Context& cx, std::string_view name, double value) {
    auto& fst = cx.fst;
    auto& setup = cx.setup;
    auto& a = cx.acclim;
    if (name == "hc") {
        store(fst, setup.hc, Shc, value);
    } else if (name == "q0") {
        store(fst, setup.q0, Sq0, value);
    } else if (name == "sigmat") {
        store(fst, setup.sigmat, Ssigmat, value);
    } else if (name == "xnsigt") {
        store(fst, setup.xnsigt, Sxnsigt, value);
    } else if (name == "Rintmi" || name == "rintmi") {
        store(fst, a.Rintmi, SRintmi, value);
    } else if (name == "Rintma" || name == "rintma") {
        store(fst, a.Rintma, SRintma, value);
    } else if (name == "Slow" || name == "slow") {
        store(fst, a.Slow, SSlow, value);
    } else if (name == "Shigh" || name == "shigh") {
        store(fst, a.Shigh, SShigh, value);
    } else if (name == "sstpma") {
        store(fst, a.sstpma, Ssstpma, value);
    } else if (name == "relacc") {
        store(fst, a.relacc, Srelacc, value);
    } else if (name == "check") {
        check(cx);
    } else if (name == "notalman") {
        setup.notalman = is_one(value);
    } else if (name == "nogamma2") {
        setup.nogamma2 = is_one(value);
    } else if (name == "hmax") {
        cx.xxtmp.hmax = value;
    } else if (name == "zsymmetry") {
        setup.zsymmetry = is_one(value);
    } else if (name == "1dmirror") {
        setup.onedmirror = is_one(value);
    } else if (name == "1dpoleex") {
        setup.onedpoleex = is_one(value);
    } else {
        return false;
    }
    return true;
}

}  // namespace

void finit(Context& cx, std::string_view name_in, double value) {
    auto& fst = cx.fst;
    auto& setup = cx.setup;
    if (!fst.started) {
        fst.started = true;
        set_method(cx.fcdata, 0);
    }
    if (!fst.defaults) {
        fst.defaults = true;
        setup.notalman = false;
        setup.nogamma2 = false;
        setup.zsymmetry = false;
        setup.onedmirror = false;
        setup.onedpoleex = false;
        cx.xxtmp.hmax = default_hmax;
    }
    const std::string_view name = trimmed(name_in);
    if (transverse_setting(cx.fcdata, name, value) || library_setting(cx, name, value)) return;
    fieldp("error in fld_cont/finit: unknown action");
    foundation::fatal_stop(foundation::ld_line({name_in}));
}

}  // namespace fieldlib
