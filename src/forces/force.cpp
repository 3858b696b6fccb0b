// Force settings ("forces" layer with its sigma_file and wake_file) and the
// per-step force entry with the effective sub-bunch sizes.
#include "forces/force.hpp"

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <array>
#include <string>
#include <string_view>

#include "bunch/error.hpp"
#include "bunch/prtcls.hpp"
#include "fieldlib/field.hpp"
#include "forces/force1.hpp"
#include "forces/force2.hpp"
#include "forces/force3.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace forces {

using bunch::force_model;
using bunch::forces;

namespace {

using ftypes::Logical;

using foundation::log_line;

// No model: zero forces.
void no_force(ForceType, foundation::ParticleView, foundation::IndexView, double,
              foundation::ForceView F, std::int32_t& ierr) {
    std::fill(F.words().begin(), F.words().end(), 0.0);
    ierr = 0;
}

// "projected" on the master (the bunch as it stands; ct plays no part).
void projected(ForceType, foundation::ParticleView XP, foundation::IndexView IP, double,
               foundation::ForceView F, std::int32_t& ierr) {
    ierr = force1(XP, IP, F);
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

// Sub-bunch property file: rows (c*t, long., rad., vert. size) into sigfil.
// Status 0 on success; the unit is closed on every path once opened.
std::int32_t read_sigma_file(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioin(name, unit, ierr);
    if (ierr != 0) return refuse_file("sigma_file", name, "cannot be opened");
    log_line("read subbunch properties");
    auto refuse = [&](const std::string& what, std::string_view message = {}) {
        return refuse_file("sigma_file", name, what, message);
    };
    std::int32_t n = 0, status = 0;
    for (;;) {
        std::array<double, 4> row{};
        const std::string rowname = "row " + std::to_string(n + 1);
        int rs = foundation::read_reals_from_unit(unit, row);
        if (rs < 0) break;
        if (rs > 0) {  // a value that is no number, or a last row cut short
            status = refuse(rowname + " is not four numbers");
            break;
        }
        if (n >= cap::matist) {  // refused before it is stored
            status = refuse("holds more than " + std::to_string(cap::matist) + " rows",
                            "too many points in file: increase matist");
            break;
        }
        if (n >= 1 && row[0] < forces.sigfil(1, n)) {
            status = refuse(rowname + ": c*t " + foundation::short_real(row[0]) + " m is before the " +
                                foundation::short_real(forces.sigfil(1, n)) + " m of the row before",
                            "first column with c*time is not increasing");
            break;
        }
        if ((forces.lfill && !(row[1] > 0.0)) || (forces.lfilr && !(row[2] > 0.0)) ||
            (forces.lfilv && !(row[3] > 0.0))) {
            status = refuse(rowname + ": a size taken from the file is not > 0",
                            "file with nonepositive subbunch length");
            break;
        }
        ++n;
        for (int k = 1; k <= 4; ++k) forces.sigfil(k, n) = row[std::size_t(k - 1)];
    }
    std::int32_t ic = 0;
    foundation::ficin(unit, ic);
    forces.nsgfil = n;
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

// The wake_file: comment records with "!", sigwak, stpwak, n1wak, n2wak and
// the samples. Status 0 on success; the unit is closed on every path.
std::int32_t read_wake_file(const std::string& name) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioin(name, unit, ierr);
    if (ierr != 0) return refuse_file("wake_file", name, "cannot be opened");
    log_line("read wakefile: " + name);
    int records = 0;  // records read so far
    auto refuse = [&](const std::string& what, std::string_view message = {}) {
        return refuse_file("wake_file", name, what, message);
    };
    auto at = [&] { return "record " + std::to_string(records) + ": "; };
    // the next value of the header: a token, then its reading; false after
    // a refusal
    std::string tok;
    auto header = [&](const char* what) {
        const int rc = next_token(unit, tok, records);
        if (rc != 0) {
            refuse(std::string(rc < 0 ? "ends before " : "cannot be read at ") + what);
            return false;
        }
        return true;
    };
    auto body = [&]() -> std::int32_t {
        std::string line;
        // leading comment records are shown and skipped
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
        if (foundation::read_real(tok, forces.sigwak) != 0)
            return refuse(at() + "sigwak " + foundation::quoted(tok) + " is not a number");
        if (!(forces.sigwak > 0.0))
            return refuse(at() + "sigwak " + foundation::quoted(tok) + " must be > 0",
                          "error in wake file: ??? sigwak.le.0");
        if (!header("stpwak")) return 1;
        if (foundation::read_real(tok, forces.stpwak) != 0)
            return refuse(at() + "stpwak " + foundation::quoted(tok) + " is not a number");
        if (!(forces.stpwak > 0.0))
            return refuse(at() + "stpwak " + foundation::quoted(tok) + " must be > 0",
                          "error in wake file: ??? stpwak.le.0");
        const double reach = 3.0 * forces.sigwak;  // m, the wake must cover +-3 sigwak
        if (!header("n1wak")) return 1;
        if (foundation::read_int(tok, forces.n1wak) != 0)
            return refuse(at() + "n1wak " + foundation::quoted(tok) + " is not a 32-bit integer");
        if (!(double(forces.n1wak) * forces.stpwak <= -reach))
            return refuse(at() + "n1wak*stpwak = " + foundation::short_real(double(forces.n1wak) * forces.stpwak) +
                              " m must be <= -3 sigwak = " + foundation::short_real(-reach) + " m",
                          "error in wake file: ??? n1wak*stpwak > -3*sigwak");
        if (!header("n2wak")) return 1;
        if (foundation::read_int(tok, forces.n2wak) != 0)
            return refuse(at() + "n2wak " + foundation::quoted(tok) + " is not a 32-bit integer");
        // a wake ending short of 3 sigwak: no message of its own beyond this
        if (!(double(forces.n2wak) * forces.stpwak >= reach))
            return refuse(at() + "n2wak*stpwak = " + foundation::short_real(double(forces.n2wak) * forces.stpwak) +
                          " m must be >= 3 sigwak = " + foundation::short_real(reach) + " m");
        // sample count in 64 bits: the indices may lie far apart
        const long long count = static_cast<long long>(forces.n2wak) - forces.n1wak + 1;
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
            forces.wakdat(k) = v;
        }
        return 0;
    };
    std::int32_t status = body();
    std::int32_t ic = 0;
    foundation::ficin(unit, ic);
    return status != 0 ? status : ic;
}

// A number > 0 and <= 2 (relative size factors).
bool relative_ok(double v) { return v > 0.0 && v <= 2.0; }

}  // namespace

double plate_images(ForceType type, double shield, double shield_max) {
    if (type == ForceType::none || !(shield > 0.0)) return 0.0;
    if (type == ForceType::projected)  // the one-dimensional wake: nint(shield_max/shield)
        return shield < shield_max ? std::round(shield_max / shield) : 0.0;
    // the field library: int(hmax/hc) + 1 images on each side
    return shield_max > shield ? std::trunc(shield_max / shield) + 1.0 : 0.0;
}

void inifrc(std::int32_t& ierr) {
    forces.par1 = 0.0;
    forces.par2 = 0.0;
    forces.par3 = 0.0;
    forces.par4 = 0.0;
    forces.par5 = 0.0;
    forces.itype = 0;
    for (int k = 1; k <= 5; ++k) forces.nfcall(k) = 0;
    forces.ltrace = false;
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
        const std::string words = relative != nullptr && krel >= 0 ? "file, relative" : "file";
        if (foundation::read_real(val(k), v) != 0) return refuse(k, "is not " + words + " or a length > 0");
        if (relative != nullptr) *relative = false;
        value = v;
        return v > 0.0 || refuse(k, "must be " + words + " or a length > 0");
    }
};

bool positive(double x) { return x > 0.0; }
bool not_negative(double x) { return x >= 0.0; }

// Every model but "none": sigma_long and the shielding, whose images must
// stay within the field library's limit.
bool read_longitudinal(const ForcesBlock& b, ForceType type) {
    auto& f = forces;
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
    auto& f = forces;
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
    f.rintmi = 1e-9;  // m, unless given
    if (!b.setting(krint, f.rintmi, positive, "a length > 0")) return false;
    f.green_work_max = 2e6;  // field calls, unless given
    if (!b.setting(kgwork, f.green_work_max, positive, "> 0 (field calls)")) return false;
    if (b.given(kold)) f.loldms = (b.val(kold) == "yes");
    return true;
}

// The sigma_file, the test switch, par1..par5 and the wake_file. Status 0
// on success.
std::int32_t read_files_and_parameters(const ForcesBlock& b, ForceType type) {
    auto& f = forces;
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
    return 0;
}

}  // namespace

void lyforc(std::int32_t& ierr) {
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

    auto& f = forces;
    f.sigma_long = f.sigma_rad = f.sigma_vert = 0.0;
    f.sbox = f.rbox = 0.5;
    f.shield = 0.0;
    f.shield_max = 0.3;
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
    if (std::int32_t s = read_files_and_parameters(b, type); s != 0) return fail(s);
    ierr = 0;
}

void frcsub(foundation::ConstParticleView XP, double ct, ForceType type, std::int32_t& ierr) {
    ierr = 0;
    auto& f = forces;
    double rl = 0.0, rr = 0.0, rv = 0.0;
    if (!(f.lfill && f.lfilr && f.lfilv))
        bunch::rmspar(XP, std::span<const Logical>(bunch::prtcls.lact.data(), std::size_t(XP.size())),
                      rl, rr, rv);
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
        ierr = 1;
        log_line("error in frcsub (sub-bunch dimensions)");
        return;
    }
    f.sigma_long = sl;
    f.sigma_rad = sr;
    f.sigma_vert = sv;
}

void forcei(ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr) {
    ierr = 0;
    if (type == ForceType::none) {
        // no model: zero forces (the sub-bunch sizes mean nothing here)
        no_force(type, XP, IP, ct, F, ierr);
        return;
    }
    const bunch::ForceModel& model = force_model(type);
    forces.nfcall(bunch::code(type)) += 1;
    frcsub(XP, ct, type, ierr);
    if (ierr == 0) {
        const ModelEval eval = model_eval(type);
        if (eval == nullptr) {
            log_line("error: force type '" + std::string(model.word) + "' is not available");
            ierr = 1;
        } else if (model.runs_on == bunch::RunsOn::master) {
            eval(type, XP, IP, ct, F, ierr);
        } else {
            parallel::sencmd(std::string("parallel forces"));
            std::int32_t itype = bunch::code(type);
            double t = ct;
            frcims(itype, XP, IP, t, F, ierr);
        }
    }
    if (ierr != 0) log_line("error in forcei");
}

void frcims(std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
            foundation::ForceView F, std::int32_t& ierr) {
    ierr = 0;
    std::int32_t npart = XP.size();
    parallel::traxph(npart, XP, IP, ct);
    // the evaluation settings: time, the three sizes, the type
    double settings[5];
    std::int32_t ncol = 5;
    if (parallel::is_master())
        settings[0] = ct, settings[1] = forces.sigma_long, settings[2] = forces.sigma_rad,
        settings[3] = forces.sigma_vert, settings[4] = double(itype);
    parallel::distri(settings, 1, ncol, 5);
    if (!parallel::is_master()) {
        ct = settings[0];
        forces.sigma_long = settings[1];
        forces.sigma_rad = settings[2];
        forces.sigma_vert = settings[3];
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
        eval(type, XP.first(npart), IP.first(npart), ct, F.first(npart), ierr);
    }
    if (ierr != 0) log_line("error in frcims");
}

}  // namespace forces
