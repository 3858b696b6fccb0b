#include "bunch/monitor.hpp"

#include <array>
#include <cmath>
#include <string_view>

#include "bunch/forces.hpp"
#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace bunch {

Moncom moncom;
Mo2com mo2com;

namespace {

using ftypes::Logical;


// One real field 1X,E22.14 of a particle record.
void put_e(std::string& rec, double v) {
    if (!std::isfinite(v)) moncom.status.nonfinite = true;
    rec.push_back(' ');
    rec.append(foundation::fmt_e(v, 22, 14));
}

// One flag field 1X,I1: 1 for true, 0 for false.
void put_flag(std::string& rec, bool b) {
    rec.push_back(' ');
    rec.push_back(b ? '1' : '0');
}

void log_exec_failed() { foundation::logpri("error in execution of monitor"); }

// A list-directed log record: one blank, then the items.
void log_ld(std::initializer_list<std::string_view> items) {
    foundation::log_line(foundation::ld_line(items));
}

// Writes one record; a failure sets ierr (when not already failed).
bool write_rec(std::int32_t unit, const std::string& rec, std::int32_t& ierr) {
    const int st = foundation::unit_write(unit, rec);
    if (st != 0) {
        ierr = st;
        return false;
    }
    return true;
}

// The path coordinates of a particle record in the "fmt3" layout:
// h, h', z, z', s, gamma/gamma0 - 1 (s absolute; the caller subtracts s1).
struct PathCoord {
    double h, hp, z, zp, s, dg;
};

PathCoord path_coord(int ip, double gamma0) {
    const auto& L = lattice::latcom;
    const auto& b = prtcls;
    const int nfb = L.nfb;
    const double x = b.xptcl(1, ip), y = b.xptcl(2, ip);
    // Search for the boundaries around the particle, starting at its next
    // boundary: N the next one ahead, P the last one passed.
    int k = std::min(b.iptcl(1, ip), nfb);
    if (k < 1) k = 1;
    int P = 0, N = 0, Lb = k;
    double A = 0.0, T = 0.0;
    while (true) {
        Lb = k;
        const double fx = L.x(k), fy = L.y(k), tx = L.tx(k), ty = L.ty(k);
        A = tx * (fx - x) + ty * (fy - y);
        T = ty * (fx - x) - tx * (fy - y);
        if (A > 0.0) {
            N = k;
            k = k - 1;
        } else {
            P = k;
            k = k + 1;
        }
        if ((P != 0 && N != 0) || k < 1 || k > nfb) break;
    }
    const double sL = L.s(Lb);
    double s = 0.0, h = 0.0, tx = 0.0, ty = 0.0;
    if (N == 1) {
        s = L.s(1) - A;
        h = T;
        tx = L.tx(1);
        ty = L.ty(1);
    } else if (P == nfb) {
        s = L.s(nfb) - A;
        h = T;
        tx = L.tx(nfb);
        ty = L.ty(nfb);
    } else {
        const double r = L.r(N);
        if (r == 0.0) {
            s = sL - A;
            h = T;
            tx = L.tx(P);
            ty = L.ty(P);
        } else {
            const double al = std::atan(A / (T + r));
            s = sL - r * al;
            h = (T + r) / std::cos(al) - r;
            const double t0x = L.tx(Lb), t0y = L.ty(Lb);
            tx = t0x * std::cos(al) - t0y * std::sin(al);
            ty = t0x * std::sin(al) + t0y * std::cos(al);
        }
    }
    const double ph = b.xptcl(5, ip), th = b.xptcl(6, ip);
    const double ex = std::cos(th) * std::cos(ph), ey = std::cos(th) * std::sin(ph),
                 ez = std::sin(th);
    const double D = tx * ex + ty * ey;
    const double p = b.xptcl(4, ip);
    PathCoord pc;
    pc.h = h;
    pc.hp = (tx * ey - ty * ex) / D;
    pc.z = b.xptcl(3, ip);
    pc.zp = ez / D;
    pc.s = s;
    pc.dg = foundation::gamma_of(p) / gamma0 - 1.0;
    return pc;
}

// Frees slot k: closes its file (status added to ierr by absolute value).
void free_slot(int k, std::int32_t& ierr) {
    moncom.moact(k) = false;
    moncom.moena(k) = false;
    if (moncom.mounit(k) != 0) {
        std::int32_t st = 0;
        foundation::ficout(moncom.mounit(k), st);
        ierr += std::abs(st);
        moncom.mounit(k) = 0;
    }
}

// Logs a failed online output of slot k and counts it for the run.
void online_failed(int k) {
    ++moncom.status.nfail;
    foundation::logpri("error in output of online_monitor=" + foundation::fmt_a(mo2com.moname(k).str(), 20));
}

// Opens the file of slot k on first use; a failed open frees the slot.
bool open_slot(int k, std::int32_t& st) {
    if (moncom.mounit(k) != 0) return true;
    std::int32_t unit = 0;
    foundation::fioout(mo2com.moname(k).str(), unit, st, foundation::output_kind::online);
    if (st != 0) {
        // the pool gives back a unit whose open failed
        moncom.mounit(k) = 0;
        std::int32_t dummy = 0;
        free_slot(k, dummy);
        return false;
    }
    moncom.mounit(k) = unit;
    return true;
}

// The one file that online monitor k keeps open from its first output to
// its end (a "steps" or "subbunch" monitor, a "phase" monitor of one
// particle), with the output path rule; empty for a monitor that writes a
// file per output.
std::string slot_file(int k) {
    const int type = moncom.motype(k);
    if (type == 1 || type == 2 || (type == 0 && moncom.moptcl(k) > 0))
        return foundation::output_name(mo2com.moname(k).str());
    return {};
}

// Why online monitor k cannot write its files: its folder cannot take
// them, or its one file is a file the run reads, one that another output
// has open, or the file of another online monitor in use. Empty when
// nothing stands in the way.
std::string slot_problem(int k) {
    const std::string file = slot_file(k);
    const std::string first = file.empty() ? foundation::output_name(monsuf(mo2com.moname(k).str(), 1)) : file;
    if (std::string p = foundation::folder_problem(first); !p.empty()) return p;
    if (file.empty()) {
        // a file per output: none of them may be a file the deck reads
        std::int32_t n = 0;
        if (const foundation::DeckInput* d = numbered_input(mo2com.moname(k).str(), foundation::iopcom.outpath.str(), n))
            return "its file " + foundation::output_name(monsuf(mo2com.moname(k).str(), n)) + " would be the " + d->kind +
                   " " + d->path + ", which the run reads";
        return {};
    }
    if (moncom.mounit(k) != 0) return {};
    if (std::string c = foundation::output_clash(file, foundation::output_kind::online); !c.empty()) return "it is " + c;
    for (int j = 1; j <= cap::maxmon; ++j) {
        if (j == k || !moncom.moact(j)) continue;
        const std::string other = slot_file(j);
        if (!other.empty() && foundation::same_file(file, other))
            return "it is also the file of online_monitor " + mo2com.moname(j).str();
    }
    return {};
}

// Rewinds the open file of "green" monitor k so that it holds only what is
// written next: the file is opened anew under its name, which empties it.
int rewind_green(int k) {
    const std::int32_t unit = moncom.mounit(k);
    int st = foundation::unit_rewind(unit);
    if (st != 0) return st;
    const std::string name = foundation::output_name(monsuf(mo2com.moname(k).str(), moncom.mocnt(k)));
    st = foundation::unit_close(unit);
    if (st != 0) return st;
    return foundation::unit_open(unit, name, foundation::FileMode::write);
}

}  // namespace

int green_monitor_output(std::span<const std::span<const double>> columns) {
    int ierr = 0;
    // a monitor whose output failed: its slot freed, the failure counted
    auto drop = [](int k) {
        std::int32_t st = 0;
        free_slot(k, st);
        online_failed(k);
    };
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!moncom.moact(k) || moncom.motype(k) != 3 || moncom.moform(k) != 1 || moncom.mounit(k) == 0) continue;
        ierr = rewind_green(k);
        if (ierr != 0) {
            drop(k);
            continue;
        }
        const std::int32_t u = moncom.mounit(k);
        int st = 0;
        for (const std::span<const double> c : columns) {
            if (st == 0) st = foundation::unit_write(u, foundation::ld_line({foundation::ld_int(static_cast<long long>(c.size()))}));
            for (const double v : c)
                if (st == 0) st = foundation::unit_write(u, foundation::ld_line({foundation::ld_real(v)}));
        }
        if (st != 0) {
            ierr = st;
            drop(k);
        }
    }
    return ierr;
}

void show_subbunch_sizes(double sigma_long, double sigma_rad, double sigma_vert) {
    moncom.subbunch = {sigma_long, sigma_rad, sigma_vert};
}

void show_subbunch_length(double sigma_long) { moncom.subbunch.sigma_long = sigma_long; }

void inimon(std::int32_t& ierr) {
    for (int k = 1; k <= cap::maxmon; ++k) moncom.moact(k) = false;
    ierr = 0;
}

namespace {

// The particle records of one monit2 call: each built field by field
// (put_e, put_flag) after start, then written by emit.
struct RecordWriter {
    std::int32_t unit;
    bool ltime;           // the bunch time first
    std::int32_t& ierr;   // the caller's status, set by every write
    std::string rec;
    int ip = 0;           // particle of the record being built

    void start(int particle) {
        ip = particle;
        rec.clear();
        moncom.status.nonfinite = false;
        if (ltime) put_e(rec, prtcls.ctptcl);
    }
    // Writes the record; false (after the lines saying why) when it fails.
    bool emit() {
        if (moncom.status.nonfinite) {
            // Infinity or NaN would be written: the output fails instead
            ierr = 1;
            log_ld({"particle", foundation::ld_int(ip), "not written: a field is not a finite number"});
            log_exec_failed();
            return false;
        }
        if (write_rec(unit, rec, ierr)) return true;
        log_ld({"cannot write the record of particle", foundation::ld_int(ip)});
        log_exec_failed();
        return false;
    }
};

// "fmt0": words 1 to 6 of every record as stored.
void write_fmt0(RecordWriter& w, std::int32_t i1, std::int32_t i2) {
    for (int ip = i1; ip <= i2; ++ip) {
        w.start(ip);
        for (int k = 1; k <= 6; ++k) put_e(w.rec, prtcls.xptcl(k, ip));
        if (!w.emit()) return;
    }
}

// Momentum vector of particle ip in eV/c.
void momentum_ev(int ip, double* pm) {
    const auto& b = prtcls;
    const double P = b.xptcl(4, ip) * foundation::mc2_ev;
    const double ph = b.xptcl(5, ip), th = b.xptcl(6, ip);
    pm[0] = P * std::cos(th) * std::cos(ph);
    pm[1] = P * std::cos(th) * std::sin(ph);
    pm[2] = P * std::sin(th);
}

// The frame of the offsets of "fmt1" (the rotation by reference_point_phi)
// or "fmt2" (particle 1's direction), rows e1, e2, e3.
void offset_frame(std::int32_t ifmt, double c0, double s0, double (&M)[3][3]) {
    const auto& b = prtcls;
    if (ifmt == 1) {
        const double m[3][3] = {{c0, -s0, 0.0}, {s0, c0, 0.0}, {0.0, 0.0, 1.0}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) M[i][j] = m[i][j];
    } else {
        const double ph = b.xptcl(5, 1), th = b.xptcl(6, 1);
        const double m[3][3] = {
            {std::cos(th) * std::cos(ph), std::cos(th) * std::sin(ph), std::sin(th)},
            {-std::sin(ph), std::cos(ph), 0.0},
            {-std::sin(th) * std::cos(ph), -std::sin(th) * std::sin(ph), std::cos(th)}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) M[i][j] = m[i][j];
    }
}

// "fmt1" and "fmt2": particle 1 absolute in the input frame, the others as
// offsets from it.
void write_fmt12(RecordWriter& w, std::int32_t i1, std::int32_t i2, std::int32_t ifmt) {
    const auto& b = prtcls;
    const double c0 = std::cos(b.reference_point_phi);
    const double s0 = std::sin(b.reference_point_phi);
    double p1[3];
    momentum_ev(1, p1);
    const double x1 = b.xptcl(1, 1), y1 = b.xptcl(2, 1), z1 = b.xptcl(3, 1);
    if (i1 <= 1 && i2 >= 1) {
        // the reference particle, absolute in the input frame
        w.start(1);
        put_e(w.rec, c0 * x1 - s0 * y1 + b.reference_point_x);
        put_e(w.rec, s0 * x1 + c0 * y1 + b.reference_point_y);
        put_e(w.rec, z1);
        put_e(w.rec, c0 * p1[0] - s0 * p1[1]);
        put_e(w.rec, s0 * p1[0] + c0 * p1[1]);
        put_e(w.rec, p1[2]);
        put_e(w.rec, b.xptcl(7, 1));
        if (!w.emit()) return;
    }
    double M[3][3];
    offset_frame(ifmt, c0, s0, M);
    for (int ip = std::max(i1, 2); ip <= i2; ++ip) {
        const double d[3] = {b.xptcl(1, ip) - x1, b.xptcl(2, ip) - y1, b.xptcl(3, ip) - z1};
        double pm[3];
        momentum_ev(ip, pm);
        const double dp[3] = {pm[0] - p1[0], pm[1] - p1[1], pm[2] - p1[2]};
        w.start(ip);
        for (int i = 0; i < 3; ++i) put_e(w.rec, M[i][0] * d[0] + M[i][1] * d[1] + M[i][2] * d[2]);
        for (int i = 0; i < 3; ++i)
            put_e(w.rec, M[i][0] * dp[0] + M[i][1] * dp[1] + M[i][2] * dp[2]);
        put_e(w.rec, b.xptcl(7, ip));
        if (!w.emit()) return;
    }
}

// "fmt3": path coordinates relative to particle 1, the stored forces of the
// bunch time and the flags.
void write_fmt3(RecordWriter& w, std::int32_t i1, std::int32_t i2) {
    const auto& b = prtcls;
    // path coordinates need at least one field boundary
    if (lattice::latcom.nfb < 1 || b.npart < 1) {
        w.ierr = 1;
        log_exec_failed();
        return;
    }
    const double gamma0 = foundation::gamma_of(b.p0);
    if (i2 < i1 - 1) return;
    const double s1 = path_coord(1, gamma0).s;
    const bool lforce = (forcs2.ctfk == b.ctptcl);
    for (int ip = i1; ip <= i2; ++ip) {
        // a particle moving across the reference line (D = 0) has no
        // finite slopes: emit refuses its record
        const PathCoord pc = path_coord(ip, gamma0);
        w.start(ip);
        put_e(w.rec, pc.h);
        put_e(w.rec, pc.hp);
        put_e(w.rec, pc.z);
        put_e(w.rec, pc.zp);
        put_e(w.rec, ip == 1 ? 0.0 : pc.s - s1);
        put_e(w.rec, pc.dg);
        put_e(w.rec, b.xptcl(7, ip));
        for (int c = 1; c <= 3; ++c)
            put_e(w.rec, lforce ? forcs2.fk(c, ip) / foundation::force_scale : 0.0);
        put_flag(w.rec, b.lact(ip));
        put_flag(w.rec, b.ldef(ip));
        if (!w.emit()) return;
    }
}

}  // namespace

void monit2(std::int32_t unit, std::int32_t i1, std::int32_t i2, std::int32_t ifmt, bool ltime,
            std::int32_t& ierr) {
    RecordWriter w{unit, ltime, ierr, {}};
    w.rec.reserve(320);
    if (ifmt == 0) write_fmt0(w, i1, i2);
    else if (ifmt == 1 || ifmt == 2) write_fmt12(w, i1, i2, ifmt);
    else if (ifmt == 3) write_fmt3(w, i1, i2);
}

void monito(const std::string& name, std::int32_t ifmt, std::int32_t& ierr, std::string_view kind) {
    const auto& b = prtcls;
    ierr = 0;
    log_ld({"monitor=" + foundation::fmt_a(name, 20) + "  ctptcl=", foundation::ld_real(b.ctptcl)});
    if (b.npart == 0 || (ifmt == 3 && lattice::latcom.nfb < 1)) {
        ierr = 1;
        foundation::logpri(b.npart == 0 ? "the bunch holds no particle to write"
                                        : "fmt3 needs a lattice with a field boundary");
        log_exec_failed();
        return;
    }
    std::int32_t unit = 0;
    foundation::fioout(name, unit, ierr, kind);
    if (ierr != 0) {
        log_exec_failed();
        return;
    }
    std::string rec;
    bool ok = true;
    if (ifmt == 1 || ifmt == 2) {
        put_e(rec, b.ctptcl);
        for (int k = 0; k < 6; ++k) put_e(rec, 0.0);
        ok = write_rec(unit, rec, ierr);
    } else if (ifmt == 3) {
        const double gamma0 = foundation::gamma_of(b.p0);
        put_e(rec, b.ctptcl);
        put_e(rec, gamma0);
        for (int k = 0; k < 5; ++k) put_e(rec, 0.0);
        if (forcs2.ctfk == b.ctptcl) {
            put_e(rec, moncom.subbunch.sigma_long);
            put_e(rec, moncom.subbunch.sigma_rad);
            put_e(rec, moncom.subbunch.sigma_vert);
        } else {
            for (int k = 0; k < 3; ++k) put_e(rec, 0.0);
        }
        put_flag(rec, false);
        put_flag(rec, false);
        ok = write_rec(unit, rec, ierr);
    }
    if (ok) {
        monit2(unit, 1, b.npart, ifmt, false, ierr);
        ok = (ierr == 0);
    }
    // the file is closed on every path, so that its unit goes back to the pool
    std::int32_t st = 0;
    foundation::ficout(unit, st);
    if (ok && st != 0) {
        ierr = st;
        ok = false;
    }
    if (!ok) log_exec_failed();
}

void lymoni(std::int32_t& ierr) {
    static constexpr std::array<std::string_view, 2> cid = {"format", "name"};
    std::array<std::string, 2> cval;
    std::array<Logical, 2> lset{};
    moncom.mofmt = 1;
    foundation::read_block(cid, cval, lset, ierr);
    if (ierr == 0 && lset[0]) {
        const std::string& f = cval[0];
        if (f == "fmt0") moncom.mofmt = 0;
        else if (f == "fmt1") moncom.mofmt = 1;
        else if (f == "fmt2") moncom.mofmt = 2;
        else if (f == "fmt3") moncom.mofmt = 3;
        else {
            foundation::log_key_value("format", f, "is none of fmt0 fmt1 fmt2 fmt3");
            ierr = 1;
        }
    }
    if (ierr == 0 && !lset[1]) {
        foundation::log_where("the monitor block names no file (name = ...)");
        ierr = 1;
    }
    if (ierr == 0) {
        // the file is written now: it must not be a file the run reads, one
        // open for another output, or the file of an online monitor in use,
        // and its folder must take it
        const std::string path = foundation::output_name(cval[1]);
        std::string problem;
        for (int k = 1; k <= cap::maxmon && problem.empty(); ++k) {
            const std::string other = moncom.moact(k) ? slot_file(k) : std::string();
            if (!other.empty() && foundation::same_file(path, other))
                problem = "the file of online_monitor " + mo2com.moname(k).str();
        }
        if (problem.empty()) problem = foundation::output_clash(path, foundation::output_kind::monitor);
        if (!problem.empty()) problem = "it is " + problem;
        if (problem.empty()) problem = foundation::folder_problem(path);
        if (!problem.empty()) {
            foundation::log_where("name = " + foundation::quoted(cval[1]) + ": " + problem,
                                  foundation::key_place("name"));
            ierr = 1;
        }
    }
    if (ierr == 0) {
        mo2com.mofile = cval[1];
        monito(mo2com.mofile.str(), moncom.mofmt, ierr);
    }
    if (ierr != 0) foundation::logpri("error in monitor");
}

namespace {

// The keys of an "online_monitor" block, one value each.
enum OnlineKey {
    kname, ktype, kformat, kparticle, kstart, kstartmk, kstartsh, kend, kendmk, kendsh, kstep, nonline
};
constexpr std::array<std::string_view, nonline> online_keys = {
    "name", "type", "format", "particle", "start_time_c0", "start_time_marker",
    "start_time_shift_c0", "end_time_c0", "end_time_marker", "end_time_shift_c0",
    "time_step_c0"};

// The values of one "online_monitor" block. The steps below store them in
// slot k and return 0, or a nonzero status after their own line.
struct OnlineBlock {
    std::array<std::string, nonline> cval;
    std::array<Logical, nonline> lset{};

    bool given(OnlineKey key) const { return lset[std::size_t(key)]; }
    const std::string& val(OnlineKey key) const { return cval[std::size_t(key)]; }
    // A value out of its range: named with its key. Status 1.
    std::int32_t refuse(OnlineKey key, std::string_view what) const {
        foundation::log_key_value(online_keys[std::size_t(key)], val(key), what);
        return 1;
    }
};

// The slot of the monitor name: the one of the same name (closed first),
// else the lowest free; its start state.
std::int32_t online_slot(const ftypes::FStr<cap::txtlen>& name, int& k) {
    k = 0;
    for (int i = 1; i <= cap::maxmon && k == 0; ++i)
        if (moncom.moact(i) && mo2com.moname(i) == name) k = i;
    if (k != 0) {
        std::int32_t ierr = 0;
        eximon(k, ierr);
        if (ierr != 0) return ierr;
    } else {
        for (int i = 1; i <= cap::maxmon && k == 0; ++i)
            if (!moncom.moact(i)) k = i;
        if (k == 0) {
            foundation::log_where("all 10 online monitors are in use");
            return 1;
        }
    }
    moncom.moact(k) = true;
    moncom.moena(k) = false;
    mo2com.moname(k) = name;
    moncom.mounit(k) = 0;
    moncom.mostk(k) = false;
    moncom.moenk(k) = false;
    moncom.mostg(k) = false;
    return 0;
}

// What the monitor writes: type, particle format, particle.
std::int32_t online_kind(const OnlineBlock& b, int k) {
    moncom.motype(k) = 0;
    if (b.given(ktype)) {
        const std::string& t = b.val(ktype);
        if (t == "phase") moncom.motype(k) = 0;
        else if (t == "steps") moncom.motype(k) = 1;
        else if (t == "subbunch") moncom.motype(k) = 2;
        else if (t == "green") moncom.motype(k) = 3;
        else return b.refuse(ktype, "is none of phase steps subbunch green");
    }
    moncom.moform(k) = 1;
    if (b.given(kformat)) {
        const std::string& f = b.val(kformat);
        if (f == "fmt0") moncom.moform(k) = 0;
        else if (f == "fmt1") moncom.moform(k) = 1;
        else if (f == "fmt2") moncom.moform(k) = 2;
        else if (f == "fmt3") moncom.moform(k) = 3;
        else if (std::int32_t s = foundation::key_int("format", f, moncom.moform(k)); s != 0) return s;
    }
    moncom.moptcl(k) = 0;
    if (b.given(kparticle) && b.val(kparticle) != "all") {
        std::int32_t ip = 0;
        if (std::int32_t s = foundation::key_int("particle", b.val(kparticle), ip); s != 0) return s;
        if (ip < 1) return b.refuse(kparticle, "is not a particle number (1 or more, or all)");
        moncom.moptcl(k) = ip;
    }
    return 0;
}

// The start: "now", an absolute time, or a marker with its shift.
std::int32_t online_start(const OnlineBlock& b, int k) {
    if (b.given(kstart) && b.val(kstart) == "now") {
        mo2com.mostmk(k) = "now";
        moncom.mostrt(k) = 0.0;
        moncom.mostk(k) = false;
    } else if (b.given(kstart)) {
        if (std::int32_t s = foundation::key_real("start_time_c0", b.val(kstart), moncom.mostrt(k)); s != 0) return s;
        moncom.mostk(k) = true;
    } else {
        if (!b.given(kstartmk)) {
            foundation::log_where("online_monitor " + b.val(kname) + " has no start_time_c0 or start_time_marker");
            return 1;
        }
        moncom.mostk(k) = false;
        mo2com.mostmk(k) = b.val(kstartmk);
        moncom.mostrt(k) = 0.0;
        if (b.given(kstartsh))
            return foundation::key_real("start_time_shift_c0", b.val(kstartsh), moncom.mostrt(k));
    }
    return 0;
}

// The end: an absolute time, or a marker with its shift.
std::int32_t online_end(const OnlineBlock& b, int k) {
    if (b.given(kend)) {
        if (std::int32_t s = foundation::key_real("end_time_c0", b.val(kend), moncom.moend(k)); s != 0) return s;
        moncom.moenk(k) = true;
    } else {
        if (!b.given(kendmk)) {
            foundation::log_where("online_monitor " + b.val(kname) + " has no end_time_c0 or end_time_marker");
            return 1;
        }
        moncom.moenk(k) = false;
        mo2com.moenmk(k) = b.val(kendmk);
        moncom.moend(k) = 0.0;
        if (b.given(kendsh)) return foundation::key_real("end_time_shift_c0", b.val(kendsh), moncom.moend(k));
    }
    return 0;
}

// The output interval: "all" (every step) or a time step >= 0.
std::int32_t online_step(const OnlineBlock& b, int k) {
    if (!b.given(kstep)) return 0;
    if (b.val(kstep) == "all") {
        moncom.mostep(k) = 0.0;
    } else {
        if (std::int32_t s = foundation::key_real("time_step_c0", b.val(kstep), moncom.mostep(k)); s != 0) return s;
        if (moncom.mostep(k) < 0.0) return b.refuse(kstep, "is negative");
    }
    moncom.mostg(k) = true;
    return 0;
}

}  // namespace

void lyomon(std::int32_t& ierr) {
    OnlineBlock b;
    foundation::read_block(online_keys, b.cval, b.lset, ierr);
    if (ierr == 0 && !b.given(kname)) return;  // a block without a name has no effect
    int k = 0;
    if (ierr == 0) ierr = online_slot(ftypes::FStr<cap::txtlen>(b.val(kname)), k);
    if (ierr == 0) ierr = online_kind(b, k);
    if (ierr == 0) ierr = online_start(b, k);
    if (ierr == 0) ierr = online_end(b, k);
    if (ierr == 0) ierr = online_step(b, k);
    // the files are checked now, not at the first output of a run
    if (ierr == 0) {
        if (const std::string problem = slot_problem(k); !problem.empty()) {
            foundation::log_where("name = " + foundation::quoted(b.val(kname)) + ": " + problem,
                                  foundation::key_place("name"));
            std::int32_t st = 0;
            free_slot(k, st);
            ierr = 1;
        }
    }
    if (ierr != 0) foundation::logpri("error in monitor");
}

void omochk(std::int32_t& ierr) {
    ierr = 0;
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!moncom.moena(k)) continue;
        const std::string problem = slot_problem(k);
        if (problem.empty()) continue;
        foundation::logpri("online_monitor " + mo2com.moname(k).str() + ": " + problem);
        ierr = 1;
    }
    if (ierr != 0) foundation::logpri("error in monitor");
}

namespace {

// Warns of a marker an online monitor names that no boundary carries.
void log_unknown_marker(int k, const ftypes::FStr<cap::txtlen>& marker) {
    foundation::logpri(foundation::cut("no field boundary carries the marker " + marker.str() + " of online_monitor " +
                                           mo2com.moname(k).str(), cap::loglen));
    foundation::logpri("warning: unknown marker for online_monitor");
}

}  // namespace

void inimo2(std::int32_t& ierr) {
    ierr = 0;
    moncom.status.nfail = 0;
    const auto& L = lattice::latcom;
    // boundary carrying the marker, 0 when none
    auto find_marker = [&](const ftypes::FStr<cap::txtlen>& mk) {
        for (int i = 1; i <= L.nfb; ++i)
            if (lattice::latmks.fbmark(i) == mk) return i;
        return 0;
    };
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!moncom.moact(k) || moncom.moena(k)) continue;
        if (!moncom.mostk(k)) {
            const int i = find_marker(mo2com.mostmk(k));
            if (i != 0) {
                moncom.mostrt(k) += L.ctfb(i);
                moncom.mostk(k) = true;
            } else if (mo2com.mostmk(k) == "now") {
                moncom.mostrt(k) = prtcls.ctptcl;
                moncom.mostk(k) = true;
            } else {
                log_unknown_marker(k, mo2com.mostmk(k));
            }
        }
        if (!moncom.moenk(k)) {
            const int i = find_marker(mo2com.moenmk(k));
            if (i != 0) {
                moncom.moend(k) += L.ctfb(i);
                moncom.moenk(k) = true;
            } else {
                log_unknown_marker(k, mo2com.moenmk(k));
            }
        }
        bool en = moncom.mostk(k) && moncom.moenk(k) && moncom.mostg(k);
        if (moncom.motype(k) == 0) en = en && moncom.moptcl(k) <= prtcls.npart;
        if (en) {
            moncom.moena(k) = true;
            moncom.mocnt(k) = 0;
        } else {
            std::int32_t st = 0;
            free_slot(k, st);
            log_ld({"warning: online_monitor=" + foundation::fmt_a(mo2com.moname(k).str(), 20) +
                    " is not active"});
        }
    }
}

std::string monsuf(const std::string& name, std::int32_t icnt) {
    std::string suf;
    if (icnt >= 0 && icnt <= 9999) {
        suf = "_" + foundation::fmt_i(icnt + 10000, 5).substr(1);
    } else {
        suf = "_" + std::to_string(icnt);
    }
    // the name up to its first run of three blanks
    std::string nm = name;
    const auto b3 = nm.find("   ");
    if (b3 != std::string::npos) nm.resize(b3);
    const auto j = nm.find('.');
    if (j == std::string::npos) return nm + suf;
    return nm.substr(0, j) + suf + nm.substr(j);
}

const foundation::DeckInput* numbered_input(const std::string& name, std::string_view outpath, std::int32_t& n) {
    for (const foundation::DeckInput& d : foundation::iopcom.deck_inputs) {
        if (!d.id) continue;
        // every "_" and the digits after it in the input's path: the
        // number of the output that would be that file
        for (std::size_t at = d.path.find('_'); at != std::string::npos; at = d.path.find('_', at + 1)) {
            const std::size_t end = d.path.find_first_not_of("0123456789", at + 1);
            const std::size_t len = (end == std::string::npos ? d.path.size() : end) - at - 1;
            if (len < 4 || len > 9) continue;
            n = std::stoi(d.path.substr(at + 1, len));
            if (n >= 1 && foundation::same_file(foundation::prefixed(outpath, monsuf(name, n)), d.path)) return &d;
        }
    }
    return nullptr;
}

bool mogrid(std::int32_t k, double t) {
    const double tg = moncom.mostrt(k) + moncom.mocnt(k) * moncom.mostep(k);
    if (t > moncom.moend(k) || t < tg) return false;
    if (moncom.mostep(k) > 0.0) {
        // skip the grid times passed without output (floor in double: no
        // integer overflow however long the gap)
        const double n = std::floor((t - tg) / moncom.mostep(k));
        moncom.mostrt(k) += n * moncom.mostep(k);
    }
    moncom.mocnt(k) += 1;
    return true;
}

void omoni0(double ctnext, std::int32_t& ierr) {
    ierr = 0;
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!moncom.moact(k) || moncom.motype(k) != 3) continue;
        if (!(ctnext <= moncom.moend(k)) || !mogrid(k, ctnext)) continue;
        const std::string fname = monsuf(mo2com.moname(k).str(), moncom.mocnt(k));
        if (moncom.mounit(k) != 0) {
            // the file of the previous output is still open: give it up
            ierr += 1;
            std::int32_t st = 0;
            free_slot(k, st);
            online_failed(k);
            continue;
        }
        std::int32_t unit = 0, st = 0;
        foundation::fioout(fname, unit, st, foundation::output_kind::online);
        if (st != 0) {
            ierr += std::abs(st);
            moncom.mounit(k) = 0;
            std::int32_t dummy = 0;
            free_slot(k, dummy);
            online_failed(k);
            continue;
        }
        moncom.mounit(k) = unit;
    }
}

void omonit(std::int32_t& ierr) {
    ierr = 0;
    const auto& b = prtcls;
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!moncom.moact(k)) continue;
        if (moncom.motype(k) == 3) {
            if (moncom.mounit(k) == 0) continue;
            std::int32_t st = foundation::unit_write(moncom.mounit(k), foundation::ld_line({foundation::ld_real(b.ctptcl)}));
            std::int32_t stc = 0;
            foundation::ficout(moncom.mounit(k), stc);
            moncom.mounit(k) = 0;
            ierr += std::abs(st) + std::abs(stc);
            if (stc != 0) {
                std::int32_t dummy = 0;
                free_slot(k, dummy);
            }
            if (st != 0 || stc != 0) online_failed(k);
            continue;
        }
        if (b.ctptcl > moncom.moend(k)) {
            std::int32_t st = 0;
            eximon(k, st);
            ierr += std::abs(st);
            continue;
        }
        if (!mogrid(k, b.ctptcl)) continue;
        std::int32_t st = 0;
        const int type = moncom.motype(k);
        if (type == 1 || type == 2) {
            if (open_slot(k, st)) {
                std::string rec;
                if (type == 1) {
                    const auto& f = bunch::force_settings;
                    rec = " " + foundation::fmt_e(b.ctptcl, 15, 7) + " " +
                          foundation::fmt_e(tr3com.errsum, 15, 7) + " " +
                          foundation::fmt_i(tr3com.lduty ? 1 : 0, 1);
                    for (int i = 1; i <= 5; ++i) rec += " " + foundation::fmt_i(f.nfcall(i), 6);
                } else {
                    const SubBunchShown& f = moncom.subbunch;
                    rec = " " + foundation::fmt_e(b.ctptcl, 15, 7) + " " +
                          foundation::fmt_e(f.sigma_long, 15, 7) + " " + foundation::fmt_e(f.sigma_rad, 15, 7) +
                          " " + foundation::fmt_e(f.sigma_vert, 15, 7);
                }
                st = foundation::unit_write(moncom.mounit(k), rec);
            }
        } else if (moncom.moptcl(k) > 0) {
            if (open_slot(k, st)) monit2(moncom.mounit(k), moncom.moptcl(k), moncom.moptcl(k),
                                         moncom.moform(k), true, st);
        } else {
            monito(monsuf(mo2com.moname(k).str(), moncom.mocnt(k)), moncom.moform(k), st,
                   foundation::output_kind::online);
        }
        if (st != 0) online_failed(k);
        ierr += std::abs(st);
    }
}

void eximon(std::int32_t k, std::int32_t& ierr) {
    ierr = 0;
    const int k1 = (k == 0) ? 1 : k;
    const int k2 = (k == 0) ? cap::maxmon : k;
    if (k1 < 1 || k2 > cap::maxmon) return;
    for (int i = k1; i <= k2; ++i)
        if (moncom.moact(i)) free_slot(i, ierr);
    // a file that could not be closed may have lost its last records
    if (ierr != 0) foundation::logpri("error in eximon");
}

std::int32_t omofai() { return moncom.status.nfail; }

}  // namespace bunch
