// Force settings ("forces" layer with its sigma_file and wake_file) and the
// per-step force entry with the effective sub-bunch sizes.
#include "forces/force.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <cmath>
#include <array>
#include <string>
#include <string_view>

#include "bunch/error.hpp"
#include "bunch/monitor.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "fieldlib/fldtypes.hpp"
#include "forces/force1.hpp"
#include "forces/force2.hpp"
#include "forces/force3.hpp"
#include "forces/sources.hpp"
#include "forces/work.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"
#include "foundation/capacities.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "foundation/table.hpp"
#include "lattice/latcom.hpp"
#include "lattice/pthgen.hpp"

namespace forces {

using bunch::force_model;
using bunch::force_settings;

namespace {

using ftypes::Logical;

// Defaults and a limit of the forces block, chosen values (the block's
// refusals quote them): observer boxes of half the sub-bunch sizes (sbox,
// rbox); plate images summed up to 0.3 m (shield_max); the field library's
// smallest length 1 nm, far below any sub-bunch (rintmi); relative sizes of
// at most twice the bunch's rms size (relative_long, relative_vert).
constexpr double default_box = 0.5;
constexpr double default_shield_max = 0.3;  // m
constexpr double default_rintmi = 1e-9;     // m
constexpr double max_relative = 2.0;

using foundation::log_line;
using foundation::log_wrapped;

// No model: zero forces.
void no_force(ForceType, const ModelInput&, double, foundation::ForceView F, ModelWork&, std::int32_t& ierr) {
    std::fill(F.words().begin(), F.words().end(), 0.0);
    ierr = 0;
}

// "projected" on the master (the bunch as it stands; ct plays no part).
void projected(ForceType, const ModelInput& in, double, foundation::ForceView F, ModelWork& work,
               std::int32_t& ierr) {
    ierr = force1(in, F, work);
}

// The evaluation functions, in the order of the type codes: the one place
// where a model is hooked into the dispatch (its entry of the table in
// bunch/forces.hpp then says built = true). forcei calls a master-only model
// directly; frcims calls the models that run on every process, on every
// process, with the type, so one function may serve several types (the mesh
// models: force3 for csr_p_to_m, csr_g_to_p and csr_g_to_m).
//
// An entry records whether a function was given, so that the check below
// compares no function addresses (not a constant expression where the
// compiler keeps null checks of addresses, as in the sanitizer build).
struct Registration {
    ModelEval fn = nullptr;
    bool registered = false;
    constexpr Registration(std::nullptr_t) {}
    constexpr Registration(ModelEval f) : fn(f), registered(true) {}
};
constexpr std::array<Registration, bunch::nforce_types> model_evals = {
    &no_force,  // none
    &projected,  // projected
    &force2,    // csr_p_to_p
    &force3,    // csr_p_to_m
    &force3,    // csr_g_to_p
    &force3,    // csr_g_to_m
};
static_assert([] {
    for (std::size_t i = 0; i < model_evals.size(); ++i)
        if (model_evals[i].registered != bunch::force_models[i].built) return false;
    return true;
}(), "a model is built exactly when its evaluation function is registered");

// The registered evaluation function of a type; nullptr when this build
// does not evaluate it (then the table's entry says built = false).
ModelEval model_eval(ForceType type) { return model_evals[std::size_t(bunch::code(type))].fn; }

// Keys of the "forces" block, in table order.
enum Key {
    ktype, ksigl, krell, ktest, kshape, ksigr, ksigv, krelv, krint, ksfile, kold,
    ksbox, krbox, kshield, kshmax, kpar1, kpar2, kpar3, kpar4, kpar5, kwake, kgwork, nkeys
};

// A refused sigma_file or wake_file: what is wrong with it, its name and the
// deck line that named it (key), then the message of the refusal when there
// is one. Status 1.
std::int32_t refuse_file(std::string_view key, const std::string& name, const std::string& what,
                         std::string_view message = {}) {
    foundation::log_key_value(key, name, what);
    if (!message.empty()) log_line(message);
    return 1;
}

// Sub-bunch property file: rows (c*t, long., rad., vert. size) into sigfil,
// one row a record of exactly four numbers (blank records are skipped); a
// record with more or fewer values is refused by its number, never read on
// into the next. Status 0 on success; the unit is closed on every path once
// opened.
std::int32_t read_sigma_file(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioin(name, unit, ierr);
    if (ierr != 0) return refuse_file("sigma_file", name, "cannot be opened");
    log_line("read subbunch properties");
    auto refuse = [&](const std::string& what, std::string_view message = {}) {
        return refuse_file("sigma_file", name, what, message);
    };
    // the sizes taken from the file must be > 0
    const auto sizes_ok = [](std::span<const double> row) {
        return !((force_settings.lfill && !(row[1] > 0.0)) || (force_settings.lfilr && !(row[2] > 0.0)) ||
                 (force_settings.lfilv && !(row[3] > 0.0)));
    };
    const foundation::TableRead r =
        foundation::read_increasing_table(unit, foundation::TableRows::records, 4,
                                          std::span<double>(force_settings.sigfil.data(), 4 * std::size_t(cap::matist)),
                                          sizes_ok);
    const std::int32_t n = r.rows;
    const std::string at = "record " + std::to_string(r.record);
    std::int32_t status = 0;
    switch (r.stop) {
        case foundation::TableStop::end:
            break;
        case foundation::TableStop::unreadable:
            status = refuse(at + " cannot be read");
            break;
        case foundation::TableStop::count:
            status = refuse(at + " holds " + std::to_string(r.count) + " values, not 4 (c*t and three sizes)");
            break;
        case foundation::TableStop::not_a_number:
            status = refuse(at + ": " + foundation::quoted(r.token) + " is not a number");
            break;
        case foundation::TableStop::too_many:
            status = refuse("holds more than " + std::to_string(cap::matist) + " rows",
                            "too many points in file: increase matist");
            break;
        case foundation::TableStop::decreasing:
            status = refuse(at + ": c*t " + foundation::short_real(r.row[0]) + " m is before the " +
                                foundation::short_real(force_settings.sigfil(1, n)) + " m of the row before",
                            "first column with c*time is not increasing");
            break;
        case foundation::TableStop::refused:
            status = refuse(at + ": a size taken from the file is not > 0", "file with nonepositive subbunch length");
            break;
    }
    std::int32_t ic = 0;
    foundation::ficin(unit, ic);
    force_settings.nsgfil = n;
    if (status != 0) return status;
    if (n == 0) return refuse("holds no row (c*t and three sizes)");
    return ic;
}

// The first value token of the next non-blank record(s) of a unit, as a
// list-directed read of one item takes it; records counts the records read.
// -1 at end of file, 1 on a read error.
int next_token(std::int32_t unit, std::string& token, int& records) {
    std::string line;
    for (;;) {
        int rc = foundation::unit_read(unit, line);
        if (rc != 0) return rc < 0 ? -1 : 1;
        ++records;
        auto toks = foundation::split_record(line);
        if (!toks.empty()) {
            token = toks.front();
            return 0;
        }
    }
}

// The largest wake sample taken (V/m per coulomb): far above any wake of a
// bunch, far below the overflow of the projected model's convolution.
constexpr double max_wake_sample = 1e100;

// The reading of a wake_file on its unit: the refusals name the file and
// the record reached.
struct WakeReader {
    std::int32_t unit;
    const std::string& name;
    int records = 0;  // records read so far
    std::string tok;  // the value just read

    std::int32_t refuse(const std::string& what, std::string_view message = {}) const {
        return refuse_file("wake_file", name, what, message);
    }
    std::string at() const { return "record " + std::to_string(records) + ": "; }
    // The next value of the header: a token, then its reading; false after
    // a refusal.
    bool header(const char* what) {
        const int rc = next_token(unit, tok, records);
        if (rc != 0) {
            refuse(std::string(rc < 0 ? "ends before " : "cannot be read at ") + what);
            return false;
        }
        return true;
    }

    // Leading comment records (with "!") shown and skipped; sigwak, the
    // first value of the next record. Status 0 on success.
    std::int32_t sigwak() {
        std::string line;
        for (;;) {
            if (const int rc = foundation::unit_read(unit, line); rc != 0)
                return refuse(rc < 0 ? "holds nothing but comment records (with !)" : "cannot be read");
            ++records;
            line = foundation::cut(line, 72);
            if (line.find('!') == std::string::npos) break;
            log_line(line);
        }
        auto toks = foundation::split_record(line);
        tok = toks.empty() ? std::string() : toks.front();
        if (foundation::read_real(tok, force_settings.sigwak) != 0)
            return refuse(at() + "sigwak " + foundation::quoted(tok) + " is not a number");
        if (!(force_settings.sigwak > 0.0))
            return refuse(at() + "sigwak " + foundation::quoted(tok) + " must be > 0",
                          "error in wake file: ??? sigwak.le.0");
        return 0;
    }

    // stpwak, n1wak and n2wak, each from its own record: the wake must
    // cover +-3 sigwak. Status 0 on success.
    std::int32_t steps() {
        if (!header("stpwak")) return 1;
        if (foundation::read_real(tok, force_settings.stpwak) != 0)
            return refuse(at() + "stpwak " + foundation::quoted(tok) + " is not a number");
        if (!(force_settings.stpwak > 0.0))
            return refuse(at() + "stpwak " + foundation::quoted(tok) + " must be > 0",
                          "error in wake file: ??? stpwak.le.0");
        const double reach = 3.0 * force_settings.sigwak;  // m, the wake must cover +-3 sigwak
        if (!header("n1wak")) return 1;
        if (foundation::read_int(tok, force_settings.n1wak) != 0)
            return refuse(at() + "n1wak " + foundation::quoted(tok) + " is not a 32-bit integer");
        if (!(double(force_settings.n1wak) * force_settings.stpwak <= -reach))
            return refuse(at() + "n1wak*stpwak = " + foundation::short_real(double(force_settings.n1wak) * force_settings.stpwak) +
                              " m must be <= -3 sigwak = " + foundation::short_real(-reach) + " m",
                          "error in wake file: ??? n1wak*stpwak > -3*sigwak");
        if (!header("n2wak")) return 1;
        if (foundation::read_int(tok, force_settings.n2wak) != 0)
            return refuse(at() + "n2wak " + foundation::quoted(tok) + " is not a 32-bit integer");
        // a wake ending short of 3 sigwak: no message of its own beyond this
        if (!(double(force_settings.n2wak) * force_settings.stpwak >= reach))
            return refuse(at() + "n2wak*stpwak = " + foundation::short_real(double(force_settings.n2wak) * force_settings.stpwak) +
                          " m must be >= 3 sigwak = " + foundation::short_real(reach) + " m");
        return 0;
    }

    // The n2wak - n1wak + 1 samples, one a record [V/m per C]. Status 0 on
    // success.
    std::int32_t samples() {
        // sample count in 64 bits: the indices may lie far apart
        const long long count = static_cast<long long>(force_settings.n2wak) - force_settings.n1wak + 1;
        if (count > cap::narcsr)
            return refuse("n1wak to n2wak make " + std::to_string(count) + " samples, at most " +
                              std::to_string(cap::narcsr),
                          "error in wake file: ??? n2wak-n1wak+1.>.narcsr");
        for (int k = 1; k <= int(count); ++k) {
            double v = 0.0;
            if (const int rs = foundation::read_reals_from_unit(unit, std::span<double>(&v, 1)); rs != 0) {
                const std::string n = std::to_string(count);
                return refuse(rs < 0 ? "ends after " + std::to_string(k - 1) + " of its " + n + " samples"
                                     : "sample " + std::to_string(k) + " of " + n + " is not a number",
                              "error in wake file: ??? data array");
            }
            // a sample whose products in the convolution would overflow
            if (!(std::fabs(v) <= max_wake_sample))
                return refuse("sample " + std::to_string(k) + " of " + std::to_string(count) + " = " +
                              foundation::short_real(v) + " V/m per C is beyond " +
                              foundation::short_real(max_wake_sample));
            force_settings.wakdat(k) = v;
        }
        return 0;
    }
};

// The wake_file: comment records with "!", sigwak, stpwak, n1wak, n2wak and
// the samples. Status 0 on success; the unit is closed on every path.
std::int32_t read_wake_file(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioin(name, unit, ierr);
    if (ierr != 0) return refuse_file("wake_file", name, "cannot be opened");
    log_line("read wakefile: " + name);
    WakeReader r{unit, name, 0, {}};
    std::int32_t status = r.sigwak();
    if (status == 0) status = r.steps();
    if (status == 0) status = r.samples();
    std::int32_t ic = 0;
    foundation::ficin(unit, ic);
    return status != 0 ? status : ic;
}

// A number > 0 and <= 2 (relative size factors).
bool relative_ok(double v) { return v > 0.0 && v <= max_relative; }

}  // namespace

double plate_images(ForceType type, double shield, double shield_max) {
    if (type == ForceType::none || !(shield > 0.0)) return 0.0;
    if (type == ForceType::projected)  // the one-dimensional wake: nint(shield_max/shield)
        return shield < shield_max ? std::round(shield_max / shield) : 0.0;
    // the field library: int(hmax/hc) + 1 images on each side
    return shield_max > shield ? std::trunc(shield_max / shield) + 1.0 : 0.0;
}

void inifrc(std::int32_t& ierr) {
    force_settings.par1 = 0.0;
    force_settings.par2 = 0.0;
    force_settings.par3 = 0.0;
    force_settings.par4 = 0.0;
    force_settings.par5 = 0.0;
    force_settings.itype = 0;
    for (int k = 1; k <= 5; ++k) force_settings.nfcall(k) = 0;
    force_settings.ltrace = false;
    ierr = 0;
}

namespace {

// Keys of the "forces" block, in table order (the names of enum Key).
constexpr std::array<std::string_view, nkeys> cid = {
    "type",  "sigma_long", "relative_long", "test",         "shape",     "sigma_rad",
    "sigma_vert", "relative_vert", "rintmi", "sigma_file",  "use_old_mesh", "sbox",
    "rbox",  "shield",     "shield_max",    "par1",         "par2",      "par3",
    "par4",  "par5",       "wake_file",     "green_work_max"};

// The values of one "forces" block and the readers of its settings. Every
// refusal logs what is wrong and where (the key, its value and the deck line
// that gave it) before the layer's "error in force".
struct ForcesBlock {
    std::array<std::string, nkeys> cval;
    std::array<Logical, nkeys> lset{};

    bool given(int k) const { return bool(lset[std::size_t(k)]); }
    const std::string& val(int k) const { return cval[std::size_t(k)]; }
    // Logs "<key> = '<value>' <what>, <place>"; false.
    bool refuse(int k, std::string_view what) const {
        foundation::log_key_value(cid[std::size_t(k)], val(k), what);
        return false;
    }
    // A key that the block must give but does not; false.
    static bool missing(int k, std::string_view what) {
        foundation::log_where("the forces block gives no " + std::string(cid[std::size_t(k)]) + " (" +
                              std::string(what) + ")");
        return false;
    }
    // Value k as a number; false, with its line, when it is not one.
    bool num(int k, double& v) const {
        return foundation::key_real(cid[std::size_t(k)], val(k), v) == 0;
    }

    // A setting given as a number that must satisfy ok (range says how);
    // false on failure (the value is stored before it is checked).
    bool setting(int k, double& dst, bool (*ok)(double), std::string_view range) const {
        double v = 0.0;
        if (!given(k)) return true;
        if (!num(k, v)) return false;
        dst = v;
        return ok(v) || refuse(k, "must be " + std::string(range));
    }

    // A sub-bunch size: "file" (the sigma_file's column: from_file), where
    // relative is given "relative" (the factor of key krel times the rms
    // size), else a number > 0 (relative, when given, false). False on
    // failure.
    bool size(int k, Logical& from_file, Logical* relative, int krel, double* factor, double& value) const {
        double v = 0.0;
        if (val(k) == "file") {
            from_file = true;
            return true;
        }
        if (relative != nullptr && krel >= 0 && val(k) == "relative") {
            *relative = true;
            if (!given(krel)) return refuse(k, "needs " + std::string(cid[std::size_t(krel)]) + " (> 0 and <= 2)");
            if (!num(krel, v)) return false;
            *factor = v;
            return relative_ok(v) || refuse(krel, "must be > 0 and <= 2");
        }
        bool read = false;
        const bool ok = length(k, relative != nullptr && krel >= 0, v, read);
        if (!read) return false;
        if (relative != nullptr) *relative = false;
        value = v;
        return ok;
    }
    // The number of a size k (v; read: it reads as one), which must be > 0;
    // the words it may be instead are "file", and "relative" when
    // relative_word. False, with its line, when it is not valid.
    bool length(int k, bool relative_word, double& v, bool& read) const {
        const std::string words = relative_word ? "file, relative" : "file";
        read = foundation::read_real(val(k), v) == 0;
        if (!read) return refuse(k, "is not " + words + " or a length > 0");
        return v > 0.0 || refuse(k, "must be " + words + " or a length > 0");
    }
};

bool positive(double x) { return x > 0.0; }
bool not_negative(double x) { return x >= 0.0; }

// Every model but "none": sigma_long and the shielding, whose images must
// stay within the field library's limit.
bool read_longitudinal(const ForcesBlock& b, ForceType type) {
    auto& f = force_settings;
    if (!b.given(ksigl)) return ForcesBlock::missing(ksigl, "file, relative or a length > 0");
    if (!b.size(ksigl, f.lfill, &f.lrell, krell, &f.relative_long, f.sigma_long)) return false;
    if (!b.setting(kshield, f.shield, not_negative, "a length >= 0 (0: no plates)") ||
        !b.setting(kshmax, f.shield_max, positive, "a length > 0"))
        return false;
    if (const double n = plate_images(type, f.shield, f.shield_max); n > fieldlib::max_images) {
        const std::string images = " gives " + foundation::short_real(n) + " plate images on a side";
        if (b.given(kshmax)) b.refuse(kshmax, "with shield = " + foundation::quoted(b.val(kshield)) + images);
        else b.refuse(kshield, "with the default shield_max = 0.3" + images);
        log_line("error: shield_max/shield too large, more plate images than " +
                 std::to_string(static_cast<long long>(fieldlib::max_images)));
        return false;
    }
    return true;
}

// The three-dimensional models: the shape, the transverse sizes, the boxes,
// rintmi and use_old_mesh.
bool read_transverse(const ForcesBlock& b) {
    auto& f = force_settings;
    const bool ellipsoid = b.given(kshape) && b.val(kshape) == "ellipsoid";
    if (b.given(kshape) && !ellipsoid && b.val(kshape) != "sphere") return b.refuse(kshape, "is not sphere or ellipsoid");
    if (!ellipsoid || (!b.given(ksigr) && !b.given(ksigv))) {
        f.ishape = 2;
    } else {
        f.ishape = 3;
        f.lfilr = false;
        f.lradl = true;
        if (b.given(ksigr) && !b.size(ksigr, f.lfilr, &f.lradl, -1, nullptr, f.sigma_rad)) return false;
        if (b.given(ksigv)) {
            f.lfilv = false;
            if (!b.size(ksigv, f.lfilv, &f.lrelv, krelv, &f.relative_vert, f.sigma_vert)) return false;
        } else {
            f.relative_vert = 1.0;
            f.lrelv = true;
        }
        if (!b.setting(ksbox, f.sbox, positive, "> 0")) return false;
        if (b.given(ksbox) && f.sbox > 1.0) log_line("warning: large sbox");
        if (!b.setting(krbox, f.rbox, positive, "> 0")) return false;
        if (b.given(krbox) && f.rbox > 1.0) log_line("warning: large rbox");
    }
    f.rintmi = default_rintmi;  // unless given
    if (!b.setting(krint, f.rintmi, positive, "a length > 0")) return false;
    // field calls, unless given: about an hour of every process of the run
    f.green_work_max = green_work_per_process * double(std::max(Share::of_this_process().ncpu, 1));
    if (!b.setting(kgwork, f.green_work_max, positive, "> 0 (field calls)")) return false;
    if (b.given(kold)) f.loldms = (b.val(kold) == "yes");
    return true;
}

// The noise filter and wake weights of the projected model that carry over
// from an earlier forces layer are listed.
void say_carried_settings(const ForcesBlock& b) {
    const auto& f = force_settings;
    struct Carried {
        int key;
        double value;
        const char* role;
    };
    const Carried carried[] = {{kpar1, f.par1, "noise filter switch"},
                               {kpar2, f.par2, "noise filter width"},
                               {kpar4, f.par4, "weight 1-par4 of the CSR wake"},
                               {kpar5, f.par5, "weight 1-par5 of the wake_file's wake"}};
    for (const Carried& c : carried)
        if (!b.given(c.key) && c.value != 0.0)
            log_wrapped(std::string(cid[std::size_t(c.key)]) + " = " + foundation::short_real(c.value) + " (" +
                        c.role + ") carried over from an earlier forces layer");
}

// The keys that take a number in a range, with the rules of their readers.
struct NumberRule {
    int key;
    bool (*ok)(double);
    const char* range;
};
constexpr NumberRule number_rules[] = {
    {krint, positive, "a length > 0"},
    {ksbox, positive, "> 0"},
    {krbox, positive, "> 0"},
    {kshield, not_negative, "a length >= 0 (0: no plates)"},
    {kshmax, positive, "a length > 0"},
    {kgwork, positive, "> 0 (field calls)"},
};

// The given keys whose values no reader of the block's model takes, checked
// by the rules of the keys all the same (a setting valid for no model is a
// slip whatever the model); the values are not stored. False, with a line
// for each invalid one.
bool values_valid(const ForcesBlock& b) {
    double v = 0.0;
    bool read = false, all = true;
    for (int k = 0; k < nkeys; ++k) {
        if (!b.given(k)) continue;
        const std::string& x = b.val(k);
        bool ok = true;
        switch (k) {
            case ksigl:
            case ksigv:
            case ksigr: {
                const bool relative_word = k != ksigr;
                ok = x == "file" || (relative_word && x == "relative") || b.length(k, relative_word, v, read);
                break;
            }
            case krell:
            case krelv:
                ok = b.num(k, v) && (relative_ok(v) || b.refuse(k, "must be > 0 and <= 2"));
                break;
            case kshape:
                ok = x == "sphere" || x == "ellipsoid" || b.refuse(k, "is not sphere or ellipsoid");
                break;
            default:  // a number in a range, or any word (test, use_old_mesh, the file
                      // names), par1..par5 read for every model
                for (const NumberRule& r : number_rules)
                    if (r.key == k) ok = b.setting(k, v, r.ok, r.range);
                break;
        }
        all = all && ok;
    }
    return all;
}

// The models whose evaluation reads a key, as a set of type codes.
using Models = unsigned;
constexpr Models model_bit(ForceType t) { return 1u << unsigned(bunch::code(t)); }
constexpr Models field_models = model_bit(ForceType::csr_p_to_p) | model_bit(ForceType::csr_p_to_m) |
                                model_bit(ForceType::csr_g_to_p) | model_bit(ForceType::csr_g_to_m);
constexpr Models every_model = field_models | model_bit(ForceType::projected);

struct KeyReaders {
    Models models;
    const char* who;  // who reads it, as the warning says it
};
KeyReaders readers_of(int k) {
    switch (k) {
        case ksigl: case krell: case kshield: case kshmax: case ksfile:
            return {every_model, "no self-force"};
        case kshape: case ksigr: case ksigv: case krelv: case krint:
            return {field_models, "three-dimensional models only"};
        case ksbox: case krbox:
            return {model_bit(ForceType::csr_p_to_m) | model_bit(ForceType::csr_g_to_m), "no boxes"};
        case kold: case kgwork:
            return {model_bit(ForceType::csr_g_to_p) | model_bit(ForceType::csr_g_to_m),
                    "Green's-function models only"};
        case ktest:
            return {model_bit(ForceType::projected) | model_bit(ForceType::csr_p_to_p),
                    "projected and csr_p_to_p only"};
        case kpar1: case kpar2: case kpar4: case kpar5: case kwake:
            return {model_bit(ForceType::projected), "projected only"};
        case kpar3:
            return {0, "no model reads it"};
        default:  // the type
            return {~0u, ""};
    }
}

// Why a given key has no effect under the block's model and settings, as
// the warning says it after the key; empty when it acts.
std::string without_effect(const ForcesBlock& b, ForceType type, int k) {
    const auto& f = force_settings;
    const bunch::ForceModel& m = force_model(type);
    const std::string word(m.word);
    // the sphere's sizes are all sigma_long, and it has no boxes
    const bool sphere = (m.type != ForceType::none && m.type != ForceType::projected) && f.ishape == 2;
    if (sphere && (k == ksigr || k == ksigv || k == krelv)) return "has no effect with the sphere (a size of the ellipsoid)";
    if (sphere && (k == ksbox || k == krbox)) return "has no effect with the sphere (boxes need an ellipsoid)";
    if (k == kpar5 && !f.lwake) return "has no effect without a wake_file";
    const KeyReaders r = readers_of(k);
    const bool direct = (r.models & model_bit(type)) != 0;
    const bool staged = m.precondition != type && (r.models & model_bit(m.precondition)) != 0;
    if (!direct && !staged) return "has no effect with type = " + word + " (" + r.who + ")";
    // settings of the block that leave the key unread
    if (k == krell && b.val(ksigl) != "relative") return "has no effect unless sigma_long = relative";
    if (k == krelv && !(b.given(ksigv) && b.val(ksigv) == "relative"))
        return "has no effect unless sigma_vert = relative";
    if (k == kshape && b.val(kshape) == "ellipsoid" && f.ishape == 2)
        return "= ellipsoid has no effect without sigma_rad or sigma_vert (a sphere of sigma_long)";
    if (k == kshmax && !(f.shield > 0.0)) return "has no effect without plates (shield = 0)";
    if (k == ksfile && !f.lsgfil) return "has no effect: no sub-bunch size is 'file'";
    if (!direct)
        return "acts in " + word + " only through its " + std::string(force_model(m.precondition).word) +
               " preconditioning (track_step precondition = yes)";
    return {};
}

// The given keys that have no effect under the block's model and settings
// are said, each once, in the order of the table (lines beginning with
// "warning", which stop nothing).
void say_keys_without_effect(const ForcesBlock& b, ForceType type) {
    for (int k = 0; k < nkeys; ++k) {
        if (!b.given(k)) continue;
        if (const std::string why = without_effect(b, type, k); !why.empty())
            log_wrapped("warning: " + std::string(cid[std::size_t(k)]) + " " + why);
    }
}

// The sigma_file, the test switch, par1..par5 and the wake_file. Status 0
// on success.
std::int32_t read_files_and_parameters(const ForcesBlock& b, ForceType type) {
    auto& f = force_settings;
    double v = 0.0;
    const bool anyfile = f.lfill || f.lfilr || f.lfilv;
    f.lsgfil = type != ForceType::none && b.given(ksfile) && anyfile;
    if (anyfile && !f.lsgfil) {
        foundation::log_where("a sub-bunch size is 'file' but the forces block gives no sigma_file");
        log_line("file with subbunch properties is not specified");
        return 1;
    }
    if (f.lsgfil) {
        if (std::int32_t s = read_sigma_file(b.val(ksfile)); s != 0) return s;
    }

    f.ltest = false;
    if (b.given(ktest)) f.ltest = (b.val(ktest) == "yes");

    double* par[5] = {&f.par1, &f.par2, &f.par3, &f.par4, &f.par5};
    for (int k = 0; k < 5; ++k) {
        if (!b.given(kpar1 + k)) continue;
        if (!b.num(kpar1 + k, v)) return 1;
        *par[k] = v;
    }

    f.lwake = b.given(kwake);
    if (f.lwake) {
        if (std::int32_t s = read_wake_file(b.val(kwake)); s != 0) {
            f.lwake = false;
            return s;
        }
    }
    say_keys_without_effect(b, type);
    say_carried_settings(b);
    return 0;
}

// One "forces" block into the settings record (lyforc).
void read_block(std::int32_t& ierr) {
    static const std::array<int, nkeys> nuval = [] {
        std::array<int, nkeys> a{};
        for (int i = 0; i < nkeys; ++i) a[std::size_t(i)] = i + 1;
        return a;
    }();
    static const std::array<Logical, nkeys> lvalid = [] {
        std::array<Logical, nkeys> a{};
        a.fill(Logical(true));
        return a;
    }();
    ForcesBlock b;
    std::array<std::int32_t, nkeys> vtype{};

    auto& f = force_settings;
    f.rintmi_said = false;  // said again at the first evaluation of this layer
    f.sigma_long = f.sigma_rad = f.sigma_vert = 0.0;
    f.sbox = f.rbox = default_box;
    f.shield = 0.0;
    f.shield_max = default_shield_max;
    f.loldms = true;
    f.lsgfil = f.lfill = f.lfilr = f.lfilv = f.lwake = false;

    auto fail = [&](std::int32_t status) {
        ierr = status != 0 ? status : 1;
        log_line("error in force");
    };

    foundation::assygn(foundation::getcmd, foundation::getagu, nkeys, cid, nuval, nkeys, b.cval, lvalid,
                       b.lset, vtype, ierr);
    if (ierr != 0) return fail(ierr);

    if (!b.given(ktype)) {
        (void)ForcesBlock::missing(ktype, "the force model");
        return fail(1);
    }
    ForceType type = ForceType::none;
    if (!bunch::force_type_of(std::string_view(b.val(ktype)), type)) {
        foundation::log_key_value("type", b.val(ktype), "is not a force model");
        return fail(1);
    }
    f.itype = bunch::code(type);

    // every model reads sigma_long and the shielding; the three-dimensional
    // ones (all but "projected") also the shape, sizes and boxes
    if (type != ForceType::none && !read_longitudinal(b, type)) return fail(1);
    if (type != ForceType::none && type != ForceType::projected && !read_transverse(b)) return fail(1);
    if (!values_valid(b)) return fail(1);
    if (std::int32_t s = read_files_and_parameters(b, type); s != 0) return fail(s);
    ierr = 0;
}

}  // namespace

void lyforc(std::int32_t& ierr) {
    read_block(ierr);
    // the monitors print the sizes as the block gives them until an
    // evaluation has its own
    bunch::show_subbunch_sizes(force_settings.sigma_long, force_settings.sigma_rad, force_settings.sigma_vert);
}

double smallest_transverse_size(double gamma) {
    return std::fmax(transverse_floor, transverse_floor_gamma2 / (gamma * gamma));
}

double smallest_green_radial_size(double sigma_long, double radius) {
    return radius > 0.0 ? green_sagitta_factor * sigma_long * sigma_long / radius : 0.0;
}

namespace {

std::string len(double v) { return foundation::short_real(v) + " m"; }

// The design path's range as the field library takes it: the path length
// of the lattice L from its first to its last field boundary (a path with
// no extent keeps 2 m, whose half is the library's margin of 1 m); 0
// without a lattice.
double path_range(const lattice::Latcom& L) {
    if (L.nfb < 1) return 0.0;
    const double span = L.s(L.nfb) - L.s(1);
    return span > 0.0 ? span : 2.0;
}

// The bend whose core the Green's function must follow at c*t = ct [m]:
// the sharpest one on the design path the function is made for (the
// centroid's, built as the model builds it) over the stretch that the
// sub-bunches of the sources occupy now, from the rearmost source's to the
// foremost one's, each with its profile (profile_cut rms lengths and the
// field library's margin of 0.1 more, at the speed beta1 of particle 1),
// and behind them the retarded positions whose fields form a core's near
// field across the mesh's fine band of 10 sigma_rad = sr (up to gamma 10 sr
// back). A bend the sub-bunches have not reached does not enter the
// function (its source window ends at the profile's cut); the radiation of
// a bend they have left reaches the bunch smoothly on the scale of the
// radial size, and the mesh follows its fronts whatever that size.
struct ReachedBend {
    double radius;          // m; 0 without a bend there
    double s_begin, s_end;  // m; its arc along that path, 0 at the centroid now
};
ReachedBend reached_bend(const ModelInput& in, double ct, double sl, double sr, double beta1) {
    const foundation::ConstParticleView XP = in.XP;
    bool source = false;
    for (std::int32_t i = 1; i <= XP.size() && !source; ++i) source = flag(in.lact, i);
    if (!source) return {0.0, 0.0, 0.0};  // no field: nothing to follow
    const GreenSource c = green_source(in);
    lattice::Pthcom path{};  // the centroid's, on this evaluation's own record
    lattice::setpth(path, in.lattice, c.record, c.next, ct, in.p0);
    // the sources along the centroid's direction, and the fastest of them
    const double cx = std::cos(c.record[4]), cy = std::sin(c.record[4]);
    double umin = 0.0, umax = 0.0, gmax = 1.0;
    for (std::int32_t i = 1; i <= XP.size(); ++i) {
        if (!flag(in.lact, i)) continue;
        const double u = (XP.x(i) - c.record[0]) * cx + (XP.y(i) - c.record[1]) * cy;
        umin = std::fmin(umin, u);
        umax = std::fmax(umax, u);
        gmax = std::fmax(gmax, foundation::gamma_of(XP.p(i)));
    }
    const double cut = (profile_cut + 0.1) * sl / beta1;
    const lattice::PathBend b = lattice::sharpest_bend(path, umin - cut - gmax * 10.0 * sr, umax + cut);
    return {b.kappa > 0.0 ? 1.0 / b.kappa : 0.0, b.s_begin, b.s_end};
}

// A place on the centroid's path relative to the centroid, for the log.
std::string along(double s) { return s < 0.0 ? len(-s) + " behind" : len(s) + " ahead"; }

// The key that set a transverse size of the evaluation, as the log names it.
std::string radial_key(const bunch::ForceSettings& f) {
    if (f.ishape == 2) return "sigma_long (the sphere's sizes)";
    if (f.lfilr) return "sigma_rad (from the sigma_file)";
    if (f.lradl) return "sigma_rad (following sigma_long)";
    return "sigma_rad";
}
std::string vertical_key(const bunch::ForceSettings& f) {
    if (f.ishape == 2) return "sigma_long (the sphere's sizes)";
    if (f.lfilv) return "sigma_vert (from the sigma_file)";
    if (f.lrelv) return "sigma_vert (relative_vert x rms height)";
    return "sigma_vert";
}

// Why an effective size is not > 0: a relative size of a bunch without
// extent, or a size that is not a number.
void explain_size(const char* key, double v, bool relative, const char* factor, double rms, const char* extent) {
    if (relative)
        log_wrapped(std::string(key) + " = relative: " + factor + " x the bunch's rms " + extent + " " + len(rms) +
                    " gives " + len(v) + ", the bunch has no " + extent + "; give " + key + " as a length");
    else
        log_wrapped(std::string(key) + " = " + len(v) + " is not a length > 0");
}

// The checks of an evaluation that the forces layer can make before a model
// runs: the speed of the particles, the sub-bunch length against the design
// path, rintmi against the path's range, and the transverse sizes against
// what the field integration resolves, all of the input in. Logs the
// refusal; false then.
bool evaluation_usable(const ModelInput& in, double ct, ForceType type, double sl, double sr, double sv) {
    const auto& f = in.settings;
    const foundation::ConstParticleView XP = in.XP;
    const bool field = type != ForceType::projected;
    const int n = XP.size();
    if (n < 1) return true;  // no particle: nothing to place
    // every particle moves forward: the lattice tracking cannot follow a
    // particle turned back (forces that stopped it, as a wake far beyond any
    // bunch's), and a three-dimensional model places every particle, not at
    // rest, on its own design path ("projected" names a particle it cannot
    // place itself)
    for (int j = 1; j <= n; ++j) {
        if (!flag(in.lact, j) && !flag(in.ldef, j)) continue;
        const double p = XP.p(j);
        if (field && !(std::isfinite(XP.x(j)) && std::isfinite(XP.y(j)) && std::isfinite(XP.z(j)))) {
            log_wrapped("particle " + std::to_string(j) + " has a position that is not finite: the sub-bunch"
                        " field model cannot place it; the run cannot go on");
            return false;
        }
        if (!(std::isfinite(p) && (p > 0.0 || (!field && p == 0.0)))) {
            log_wrapped("particle " + std::to_string(j) + " has momentum " + foundation::short_real(p) +
                        " m*c: the " + std::string(force_model(type).word) +
                        " model needs every particle moving forward (p > 0); self-forces that stop a particle are"
                        " far beyond any bunch's: check the charges, the sub-bunch sizes and the wake_file");
            return false;
        }
    }
    const double range = path_range(in.lattice);
    if (range <= 0.0) return true;  // no lattice: the model says so itself
    // the sub-bunch's duration at the speed of particle 1 (the reference
    // momentum for "projected"): its c*t length must stay within the path
    const double p1 = field ? XP.p(1) : in.p0;
    const double beta1 = foundation::beta_of(p1);
    if (!(beta1 > 0.0)) return true;  // "projected" refuses its reference momentum itself
    const std::string who = field ? "particle 1" : "the reference momentum";
    if (!(sl / beta1 <= range)) {
        log_wrapped("sigma_long = " + len(sl) + " at the speed of " + who + " (beta " + foundation::short_real(beta1) +
                    ") makes a sub-bunch of " + len(sl / beta1) + " of c*t, longer than the lattice's " + len(range) +
                    ": give sigma_long <= " + len(range * beta1) + (beta1 < 0.5 ? " or a faster " + who : ""));
        return false;
    }
    if (!field) return true;
    if (!(f.rintmi < 0.5 * range)) {
        log_wrapped("rintmi = " + len(f.rintmi) + " is not below " + len(0.5 * range) +
                    ", half the design path's range (the lattice's " + len(range) +
                    "): give a length well below the sub-bunch sizes (default 1e-9 m)");
        return false;
    }
    // transverse sizes: an observer on a source's path lies off it by the
    // rounding of the path geometry; a sub-bunch core not much wider turns
    // that into a random field
    const double gamma1 = foundation::gamma_of(p1);
    const double floor = smallest_transverse_size(gamma1);
    const struct {
        std::string key;
        double v;
    } sizes[] = {{radial_key(f), sr}, {vertical_key(f), sv}};
    for (const auto& z : sizes) {
        if (z.v >= floor) continue;
        log_wrapped(z.key + " = " + len(z.v) + " is below " + len(floor) +
                    ", the smallest transverse size the field integration resolves at gamma " +
                    foundation::short_real(gamma1) + " of particle 1: give at least " + len(floor));
        return false;
    }
    // the ellipsoid's length no shorter than the sphere's sizes may be: the
    // source window of a shorter one is walked in steps below the rounding
    // of its path positions (far upstream for an observer ahead of its
    // source), which ends the job or gives forces that stop the bunch
    if (f.ishape == 3 && sl < floor) {
        const std::string key = f.lfill   ? "sigma_long (from the sigma_file)"
                                : f.lrell ? "sigma_long (relative_long x rms length)"
                                          : "sigma_long";
        log_wrapped(key + " = " + len(sl) + " is below " + len(floor) +
                    ", the shortest sub-bunch the field integration resolves at gamma " +
                    foundation::short_real(gamma1) + " of particle 1: give at least " + len(floor));
        return false;
    }
    // the Green's function is sampled on straight columns 0.2 sigma_long
    // apart, across which the sub-bunch's core follows the bend it is in (a
    // preconditioning stage, whose forces are only the first guess of the
    // selected model's, is not held to it)
    if (force_model(type).green && bunch::code(type) == f.itype) {
        const ReachedBend bend = reached_bend(in, ct, sl, sr, beta1);
        const double least = smallest_green_radial_size(sl, bend.radius);
        if (sr < least) {
            log_wrapped(radial_key(f) + " = " + len(sr) + " is below " + len(least) +
                        ", 40 sigma_long^2/R for sigma_long " + len(sl) + " and the bend of R = " +
                        len(bend.radius) + " that the sub-bunches reach (its arc from " + along(bend.s_begin) +
                        " to " + along(bend.s_end) + " of the bunch's centroid): the Green's function mesh cannot"
                        " follow the core across the bend; give a larger radial size (a sigma_file can raise it"
                        " for the time in the bend) or a shorter sigma_long");
            return false;
        }
    }
    return true;
}

// Whether the lattice L has a bend (a section of nonzero radius).
bool lattice_has_bend(const lattice::Latcom& L) {
    for (int i = 1; i <= L.nfb; ++i)
        if (L.r(i) != 0.0) return true;
    return false;
}

// rintmi against the sub-bunch length sl of the first evaluation of a
// forces layer with a field model, said once per layer (the settings
// record f keeps that it was) where a bend of the lattice L has edges.
void say_rintmi(bunch::ForceSettings& f, const lattice::Latcom& L, double sl) {
    if (f.rintmi_said) return;
    f.rintmi_said = true;
    const double most = rintmi_per_sigma_long * sl;
    if (!(f.rintmi > most) || !lattice_has_bend(L)) return;
    log_wrapped("warning: rintmi = " + len(f.rintmi) + " is above sigma_long/200 = " + len(most) +
                " (sigma_long " + len(sl) + "): near the edges of bends the forces move by more than 1% of" +
                " their peak; give rintmi <= " + len(most) + " (default 1e-9 m)");
}

}  // namespace

std::optional<SubBunchSizes> frcsub(const ModelInput& in, double ct, ForceType type) {
    const auto& f = in.settings;
    double rl = 0.0, rr = 0.0, rv = 0.0;
    if (!(f.lfill && f.lfilr && f.lfilv)) bunch::rmspar(in.XP, in.lact.first(std::size_t(in.XP.size())), rl, rr, rv);
    // sizes of the sub-bunch property table at ct
    double tab[4] = {0.0, 0.0, 0.0, 0.0};
    if ((f.lfill || f.lfilr || f.lfilv) && f.nsgfil >= 1) {
        const int last = f.nsgfil;
        if (ct <= f.sigfil(1, 1)) {
            for (int k = 2; k <= 4; ++k) tab[k - 1] = f.sigfil(k, 1);
        } else if (ct >= f.sigfil(1, last)) {
            for (int k = 2; k <= 4; ++k) tab[k - 1] = f.sigfil(k, last);
        } else {
            int j = 2;
            while (f.sigfil(1, j) < ct) ++j;
            const double t0 = f.sigfil(1, j - 1), t1 = f.sigfil(1, j);
            if (t1 == t0) {
                for (int k = 2; k <= 4; ++k) tab[k - 1] = f.sigfil(k, j - 1);
            } else {
                const double w = (ct - t0) / (t1 - t0);
                for (int k = 2; k <= 4; ++k) tab[k - 1] = (1.0 - w) * f.sigfil(k, j - 1) + w * f.sigfil(k, j);
            }
        }
    }
    const double sl = f.lfill ? tab[1] : (f.lrell ? f.relative_long * rl : f.sigma_long);
    double sr = f.sigma_rad, sv = f.sigma_vert;
    bool ok = sl > 0.0;
    if (type != ForceType::projected) {
        if (f.ishape == 2) {
            sr = sl;
            sv = sl;
        } else {
            sr = f.lfilr ? tab[2] : (f.lradl ? sl : f.sigma_rad);
            sv = f.lfilv ? tab[3] : (f.lrelv ? f.relative_vert * rv : f.sigma_vert);
        }
        ok = sl > 0.0 && sr > 0.0 && sv > 0.0;
    }
    if (!ok) {
        if (!(sl > 0.0)) explain_size("sigma_long", sl, f.lrell && !f.lfill, "relative_long", rl, "length");
        else if (!(sv > 0.0))
            explain_size("sigma_vert", sv, f.ishape == 3 && f.lrelv && !f.lfilv, "relative_vert", rv, "height");
        else explain_size("sigma_rad", sr, false, "", 0.0, "");
    }
    if (!ok || !evaluation_usable(in, ct, type, sl, sr, sv)) {
        log_line("error in frcsub (sub-bunch dimensions)");
        return std::nullopt;
    }
    return SubBunchSizes{sl, sr, sv};
}

void join_steps(StepTimes& t) {
    if (!t.on) return;
    const std::int32_t np = Share::of_this_process().ncpu;
    std::array<std::int32_t, cap::maxproc> counts{};
    std::fill(counts.begin(), counts.begin() + np, nsteps);
    parallel::joinr(t.own, std::span<const std::int32_t>(counts.data(), std::size_t(np)), t.all);
    t.own.fill(0.0);  // the next evaluation's own
}

ModelInput input_of(foundation::ConstParticleView XP, foundation::ConstIndexView IP) {
    const auto& B = bunch::prtcls;
    const std::size_t n = std::size_t(XP.size());
    return {XP, IP, Flags(B.lact.data(), n), Flags(B.ldef.data(), n), B.p0, lattice::latcom, force_settings,
            {force_settings.sigma_long, force_settings.sigma_rad, force_settings.sigma_vert}};
}

void forcei(ModelWork& work, ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr) {
    ierr = 0;
    ModelInput in = input_of(XP, IP);
    if (type == ForceType::none) {
        // no model: zero forces (the sub-bunch sizes mean nothing here)
        no_force(type, in, ct, F, work, ierr);
        return;
    }
    const bunch::ForceModel& model = force_model(type);
    force_settings.nfcall(bunch::code(type)) += 1;
    const std::optional<SubBunchSizes> sizes = frcsub(in, ct, type);
    if (!sizes) {
        ierr = 1;
    } else {
        in.sizes = *sizes;
        // what the monitors print: "projected" has no transverse sizes
        if (type == ForceType::projected) bunch::show_subbunch_length(sizes->sigma_long);
        else bunch::show_subbunch_sizes(sizes->sigma_long, sizes->sigma_rad, sizes->sigma_vert);
        // said by an evaluation (not by the set-up's check of a Green's function)
        if (type != ForceType::projected) say_rintmi(force_settings, in.lattice, sizes->sigma_long);
        const ModelEval eval = model_eval(type);
        if (eval == nullptr) {
            log_line("error: force type '" + std::string(model.word) + "' is not available");
            ierr = 1;
        } else if (model.runs_on == bunch::RunsOn::master) {
            eval(type, in, ct, F, work, ierr);
        } else {
            parallel::sencmd(std::string("parallel forces"));
            std::int32_t itype = bunch::code(type);
            double t = ct;
            SubBunchSizes sz = *sizes;
            frcims(work, itype, XP, IP, t, sz, F, ierr);
        }
    }
    if (ierr != 0) log_line("error in forcei");
}

namespace {

// The log of the master silenced while it lives (the master alone runs
// green_check).
struct QuietLog {
    QuietLog() { foundation::set_log_owner(false); }
    ~QuietLog() { foundation::set_log_owner(true); }
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
};

// The work check of the Green's function that model type makes at the
// bunch's time, as its evaluation would make it but on the master alone,
// for the run's process count. Status 1 when refused. Sizes that the
// evaluation refuses, or a bunch without a source or a receiver, are left
// to the evaluation (status 0): it says why.
int green_check_at_start(ModelWork& work, ForceType type, double ct) {
    auto& B = bunch::prtcls;
    const std::int32_t n = B.npart;
    ModelInput in = input_of(foundation::particles(B.xptcl, n), foundation::indices(B.iptcl, n));
    bool source = false, receiver = false;
    for (std::int32_t i = 1; i <= n; ++i) {
        source = source || flag(in.lact, i);
        receiver = receiver || flag(in.ldef, i);
    }
    if (!source || !receiver) return 0;
    std::optional<SubBunchSizes> sizes;
    {
        // the lines of the evaluation's checks and of its observers are its own
        const QuietLog quiet;
        sizes = frcsub(in, ct, type);
        if (sizes) {
            in.sizes = *sizes;
            green_observers(work, type, in);
        }
    }
    return sizes ? green_layout_work(work, type, in, ct) : 0;
}

}  // namespace

void green_check(ModelWork& work, std::int32_t& ierr) {
    ierr = 0;
    const auto& f = force_settings;
    ForceType m = ForceType::none;
    // a stored function may be reused by the first evaluation; a stand-in
    // force entry (tests) makes no function
    const auto& entry = bunch::forcs2;
    if (work.mesh.mesh.lgreen || entry.entry != &force_entry || entry.entry_context != &work ||
        !bunch::force_type_of(f.itype, m))
        return;
    const ForceType pm = bunch::force_model(m).precondition;
    const double ct = bunch::prtcls.ctptcl;
    // the stages whose start forces the first step computes
    const bool stage1 = m != ForceType::none && (bunch::tr3com.precondition || pm == m);
    if (stage1 && bunch::force_model(pm).green && entry.ctfi != ct && green_check_at_start(work, pm, ct) != 0)
        ierr = 1;
    else if (pm != m && bunch::force_model(m).green && entry.ctfk != ct && green_check_at_start(work, m, ct) != 0)
        ierr = 1;
    if (ierr != 0) log_line("error: no tracking run");
}

void force_entry(void* work, ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
                 foundation::ForceView F, std::int32_t& ierr) {
    forcei(*static_cast<ModelWork*>(work), type, XP, IP, ct, F, ierr);
}

void frcims(ModelWork& work, std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
            SubBunchSizes& sizes, foundation::ForceView F, std::int32_t& ierr) {
    ierr = 0;
    std::int32_t npart = XP.size();
    StepTimes& steps = work.steps;
    std::optional<StepClock> handout(std::in_place, steps, Step::handout);
    parallel::traxph(npart, XP, IP, ct);
    // the evaluation settings: time, the three sizes, the type
    double settings[5];
    std::int32_t ncol = 5;
    if (parallel::is_master())
        settings[0] = ct, settings[1] = sizes.sigma_long, settings[2] = sizes.sigma_rad,
        settings[3] = sizes.sigma_vert, settings[4] = double(itype);
    parallel::distri(settings, 1, ncol);
    handout.reset();
    if (!parallel::is_master()) {
        ct = settings[0];
        sizes = {settings[1], settings[2], settings[3]};
        itype = static_cast<std::int32_t>(std::lround(settings[4]));
    }
    // the model of the type, the same on every process after the broadcast:
    // force2 for csr_p_to_p, force3 for the mesh models (table model_evals)
    ForceType type = ForceType::none;
    const bool known = bunch::force_type_of(itype, type);
    const ModelEval eval = known ? model_eval(type) : nullptr;
    if (eval == nullptr || force_model(type).runs_on != bunch::RunsOn::every_process) {
        ierr = 1;
    } else {
        ModelInput in = input_of(XP.first(npart), IP.first(npart));
        in.sizes = sizes;
        eval(type, in, ct, F.first(npart), work, ierr);
    }
    if (ierr != 0) log_line("error in frcims");
}

}  // namespace forces
