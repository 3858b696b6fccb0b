// The lattice record, its emptying, the field-boundary geometry and the
// "lattice" layer with its element blocks.
#include "lattice/lattice.hpp"

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "foundation/constants.hpp"
#include "lattice/geometry.hpp"
#include "lattice/latout.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace lattice {

Latcom latcom;
Latmks latmks;

namespace {

using ftypes::Logical;
using ftypes::UNDEF_REAL;

using foundation::twopi;

// Private reals of a thin quadrupole: its kick matrix and the inverse
// transpose, 4x4 each.
constexpr int thin_quad_reals = 2 * kick_matrix_reals;

// A boundary line closer than this to parallel with the direction that has
// to reach it (|cos| of the angle between normal and direction) cannot be
// placed: its crossing would lie at an absurd distance.
constexpr double min_cos = 1.0e-12;

bool undef(double v) { return v == UNDEF_REAL; }


// (x, y) turned counter-clockwise by phi.
void turn(double x, double y, double phi, double& xo, double& yo) {
    const double c = std::cos(phi), s = std::sin(phi);
    xo = x * c - y * s;
    yo = x * s + y * c;
}

// Normal of a later boundary: absolute psi, else the tangent turned by
// delta_psi, else the tangent itself.
void boundary_normal(const Pos4& pos, double tx, double ty, double& nx, double& ny) {
    if (!undef(pos(2))) {
        nx = std::cos(pos(2));
        ny = std::sin(pos(2));
    } else if (!undef(pos(4))) {
        turn(tx, ty, pos(4), nx, ny);
    } else {
        nx = tx;
        ny = ty;
    }
}

// A real value of a block: the default when not given; status 1 when the
// text is not a number (named with its key).
[[nodiscard]] int real_value(std::string_view key, bool given, const std::string& text, double dflt, double& v) {
    if (!given) {
        v = dflt;
        return 0;
    }
    return foundation::key_real(key, text, v);
}

// An element whose private data do not fit the lattice record.
void no_room(std::string_view what, std::int64_t needed, std::int64_t left) {
    foundation::log_where("the element needs " + std::to_string(needed) + " " + std::string(what) + ", " +
                          std::to_string(left) + " are left");
}

// The word a block of an element holds where something else was expected.
void unexpected(std::string_view element, const std::string& word, std::string_view expected) {
    foundation::log_where(foundation::quoted(word) + " in a " + std::string(element) + " block where " +
                          std::string(expected) + " was expected");
}

// A marker name given to more than one boundary: every use of the name
// (a tracker's end_time_marker, an online monitor's start or end) takes the
// first of them, which the warning names.
void warn_duplicate_markers() {
    const auto& L = latcom;
    for (int i = 1; i <= L.nfb; ++i) {
        const auto& mk = latmks.fbmark(i);
        if (mk == ftypes::UNDEF_NAME) continue;
        bool first = true;  // no boundary before i carries the name
        for (int j = 1; j < i && first; ++j) first = !(latmks.fbmark(j) == mk);
        if (!first) continue;
        std::string others;
        for (int j = i + 1; j <= L.nfb; ++j)
            if (latmks.fbmark(j) == mk) others += " " + std::to_string(j);
        if (others.empty()) continue;
        foundation::logpri(foundation::cut("warning: marker " + mk.str() + " is not unique, boundaries " +
                                               std::to_string(i) + others, cap::loglen));
        foundation::logpri("  tracker and online_monitor times use boundary " + std::to_string(i));
    }
}

// Fails an element after the inner routine's own line.
void fail(std::string_view line, std::int32_t& ierr) {
    if (ierr == 0) ierr = 1;
    foundation::logpri(line);
}

}  // namespace

void inilat(std::int32_t& ierr) {
    latcom.nfb = 0;
    latcom.nila = 0;
    latcom.nrla = 0;
    latcom.lfbok = false;
    ierr = 0;
}

namespace {

// A position refused: the line saying why, then the refusal. False.
bool refuse_position(std::string_view why, std::string_view refusal) {
    foundation::log_where(why);
    foundation::logpri(refusal);
    return false;
}

// The boundary record of a new boundary: (x, y, tx, ty, nx, ny, s, r).
using BoundaryRecord = std::array<double, 8>;

// The first boundary, on the reference line from the origin along +x.
bool first_boundary(double r, const Pos4& pos, BoundaryRecord& f) {
    const double rho = pos(1), psi = pos(2), dpsi = pos(4);
    double ds = pos(3);
    if (undef(rho) && undef(ds))
        return refuse_position("the first boundary needs rho or delta_s", "error in position: first field boundary");
    const double a = !undef(psi) ? psi : (!undef(dpsi) ? dpsi : 0.0);
    const double ca = std::cos(a), sa = std::sin(a);
    if (undef(ds)) {
        // boundary line n.X = rho parallel to the start direction
        if (std::fabs(ca) <= min_cos)
            return refuse_position("the boundary line is parallel to the start direction", "error in position");
        ds = rho / ca;
    }
    f = {ds, 0.0, 1.0, 0.0, ca, sa, ds, r};
    return true;
}

// Where the reference line stands at the previous boundary j: crossing
// point (m), tangent and path length (m).
struct LineEnd {
    double px, py, tx, ty, sj;
};

// A straight piece: the tangent goes on unchanged.
bool straight_boundary(const LineEnd& e, double r, const Pos4& pos, BoundaryRecord& f) {
    const double rho = pos(1);
    double ds = pos(3);
    double nx, ny;
    boundary_normal(pos, e.tx, e.ty, nx, ny);
    if (undef(ds)) {
        const double nt = nx * e.tx + ny * e.ty;
        if (std::fabs(nt) <= min_cos)
            return refuse_position("the boundary line is parallel to the reference line", "error in position");
        ds = (rho - (nx * e.px + ny * e.py)) / nt;
    }
    f = {e.px + ds * e.tx, e.py + ds * e.ty, e.tx, e.ty, nx, ny, e.sj + ds, r};
    return true;
}

// The path length ds of a relative arc (delta_s given): no negative length
// and no full circle.
bool relative_arc(double r, double ds) {
    if (undef(ds)) return refuse_position("an arc needs delta_s, or rho and psi", "error in position, arc definition");
    if (ds < 0.0)
        return refuse_position("the arc's delta_s = " + foundation::short_real(ds) + " m is negative",
                               "error in position, relative arc definition");
    if (std::fabs(ds / r) >= twopi) {
        // a turn by a full circle or more: the reference line would come
        // back to where it was, the boundary record could not say how far
        // it went
        return refuse_position("an arc of delta_s = " + foundation::short_real(ds) + " m, r = " +
                                   foundation::short_real(r) + " m turns by " +
                                   foundation::short_real(std::fabs(ds / r) * 180.0 / foundation::pi) +
                                   " degrees, a full circle or more",
                               "error in position");
    }
    return true;
}

// The path length ds of an absolute arc (rho and psi given): the first
// point where the circle tangent to the reference line at the previous
// boundary meets the line n.X = rho, n = (nx, ny) := (cos psi, sin psi).
bool absolute_arc(const LineEnd& e, double r, const Pos4& pos, double& ds, double& nx, double& ny) {
    const double rho = pos(1), psi = pos(2);
    nx = std::cos(psi);
    ny = std::sin(psi);
    const CircleMeeting m = circle_meets_line(e.tx, e.ty, nx, ny, rho - (nx * e.px + ny * e.py), r);
    if (!m.meets)
        return refuse_position("the circle of r = " + foundation::short_real(r) +
                                   " m never meets the boundary line of rho and psi",
                               "error in position, absolute arc definition");
    const double phi1 = m.phi1, phi2 = m.phi2;
    double l1 = -r * phi1, l2 = -r * phi2;
    if (l1 < 0.0) l1 = l1 + twopi * std::fabs(r);
    if (l2 < 0.0) l2 = l2 + twopi * std::fabs(r);
    ds = std::min(l1, l2);
    // A root at zero turning angle: the previous boundary already lies on
    // this line and the arc moves away from it. Depending on rounding it
    // would give a zero-length arc or a nearly full turn; neither places a
    // boundary.
    if (std::min(std::fabs(phi1), std::fabs(phi2)) <= min_cos)
        return refuse_position("the arc starts on its own boundary line", "error in position");
    return true;
}

// An arc of radius r: turning angle -ds/r, end point along the chord.
bool arc_boundary(const LineEnd& e, double r, const Pos4& pos, BoundaryRecord& f) {
    const bool relative = undef(pos(1)) || undef(pos(2));
    double ds = pos(3), nx = 0.0, ny = 0.0;
    if (relative ? !relative_arc(r, ds) : !absolute_arc(e, r, pos, ds, nx, ny)) return false;
    const double phi = -ds / r;
    double tix, tiy, hx, hy;
    turn(e.tx, e.ty, phi, tix, tiy);
    turn(e.tx, e.ty, phi / 2.0, hx, hy);
    const double chord = 2.0 * r * std::sin(phi / 2.0);
    if (relative) boundary_normal(pos, tix, tiy, nx, ny);
    f = {e.px - chord * hx, e.py - chord * hy, tix, tiy, nx, ny, e.sj + ds, r};
    return true;
}

// Boundary i after boundary i - 1.
bool later_boundary(int i, double r, const Pos4& pos, BoundaryRecord& f) {
    const auto& L = latcom;
    const int j = i - 1;
    const LineEnd e{L.x(j), L.y(j), L.tx(j), L.ty(j), L.s(j)};
    if (undef(pos(1)) && undef(pos(3)))
        return refuse_position("boundary " + std::to_string(i) + " needs rho or delta_s", "error in position");
    if (r == 0.0) return straight_boundary(e, r, pos, f);
    return arc_boundary(e, r, pos, f);
}

}  // namespace

void positi(double r, const Pos4& pos, const std::string& marker, Logical duty, std::int32_t& ierr) {
    auto& L = latcom;
    if (L.nfb >= cap::maxlat) {
        foundation::log_where("a lattice holds at most 100 field boundaries");
        foundation::logpri("error in position: increase maxlat (latcom)");
        ierr = 1;
        return;
    }
    BoundaryRecord f{};  // the new boundary record
    L.nfb = L.nfb + 1;
    bool ok = L.nfb == 1 ? first_boundary(r, pos, f) : later_boundary(L.nfb, r, pos, f);
    if (ok) {
        for (double v : f)
            if (!std::isfinite(v)) ok = false;
        if (!ok) {
            foundation::log_where("the boundary's position is not finite");
            foundation::logpri("error in position");
        }
    }
    if (ok) {
        for (int k = 1; k <= 8; ++k) L.fb(k, L.nfb) = f[std::size_t(k - 1)];
    } else {
        ierr = 1;
    }
    // marker and duty of the counted boundary, also after a failure
    latmks.fbmark(L.nfb) = marker;
    L.fbduty(L.nfb) = duty;
}

void lyposi(Pos4& pos, std::string& marker, Logical& duty, std::int32_t& ierr) {
    static constexpr std::array<std::string_view, 6> cid = {"rho",       "psi",    "delta_s",
                                                           "delta_psi", "marker", "duty"};
    std::array<std::string, 6> cval;
    std::array<Logical, 6> lset{};
    ierr = 0;
    foundation::read_block(cid, cval, lset, ierr);
    if (ierr == 0) {
        for (int k = 0; k < 4 && ierr == 0; ++k) {
            double v = UNDEF_REAL;
            if (lset[k] && foundation::key_real(cid[std::size_t(k)], cval[std::size_t(k)], v) != 0) ierr = 1;
            pos(k + 1) = v;
        }
    }
    if (ierr != 0) {
        foundation::logpri("error in lyrass");
        return;
    }
    if (!undef(pos(2))) pos(2) = foundation::degrees_quotient_first(pos(2));
    if (!undef(pos(4))) pos(4) = foundation::degrees_quotient_first(pos(4));
    marker = lset[4] ? cval[4] : std::string(ftypes::UNDEF_NAME);
    if (lset[5]) duty = (cval[5] == "yes");
}

void lymupr(double& r, double& strength, double& alpha, double& horizontal_offset,
            double& vertical_offset, std::int32_t& m, std::int32_t& ierr) {
    static constexpr std::array<std::string_view, 6> cid = {
        "r", "strength", "alpha", "horizontal_offset", "vertical_offset", "poles"};
    const int kind = m;
    std::array<Logical, 6> lvalid{};
    if (kind == 1) {
        lvalid[0] = true;
    } else {
        for (int k = 1; k <= 4; ++k) lvalid[k] = true;
        lvalid[5] = (kind == 0);
        r = 0.0;
    }
    std::array<std::string, 6> cval;
    std::array<Logical, 6> lset{};
    ierr = 0;
    foundation::read_block(cid, lvalid, cval, lset, ierr);
    if (ierr == 0) {
        if (kind == 1) {
            if (real_value(cid[0], lset[0], cval[0], 0.0, r) != 0) ierr = 1;
        } else {
            if (real_value(cid[1], lset[1], cval[1], 0.0, strength) != 0 ||
                real_value(cid[2], lset[2], cval[2], 0.0, alpha) != 0 ||
                real_value(cid[3], lset[3], cval[3], 0.0, horizontal_offset) != 0 ||
                real_value(cid[4], lset[4], cval[4], 0.0, vertical_offset) != 0)
                ierr = 1;
            else if (lset[2])
                alpha = foundation::degrees_product_first(alpha);
            // a rotation angle so large that alpha*pi overflows is no angle
            if (ierr == 0 && !std::isfinite(alpha)) {
                foundation::log_key_value("alpha", cval[2], "is too large an angle");
                ierr = 1;
            }
            if (ierr == 0 && kind == 0) {
                std::int32_t poles = 0;
                if (!lset[5] || foundation::read_int(cval[5], poles) != 0 || poles < 2 || poles % 2 != 0) {
                    if (!lset[5]) foundation::log_where("a multipole needs poles = (an even number, 2 or more)");
                    else foundation::log_key_value("poles", cval[5], "is not an even number of 2 or more");
                    foundation::logpri("undefined or invalid pole number");
                    ierr = 1;
                } else {
                    m = poles / 2;
                }
            }
        }
    }
    if (ierr != 0) foundation::logpri("error in dipole/multipole_properties");
}

namespace {

// A dipole, quadrupole or multipole being read: its kind (1 dipole, 2
// quadrupole, 0 multipole), order and properties.
struct ThickElement {
    std::int32_t kind;
    std::int32_t m;  // the kind until the properties give the order
    double r = 0.0, strength = 0.0, alpha = 0.0, hoff = 0.0, voff = 0.0;
};

// What a thick element's block expects after nothing (stage 0), its entry
// position (1), its properties (2) and its exit position (3).
constexpr std::string_view thick_expected[] = {"position or }", "properties or }", "position or }", "}"};

// The private data of a quadrupole or multipole at its exit boundary i:
// the order and the four reals. False after the line of a full store.
bool multipole_data(const ThickElement& e, int i) {
    auto& L = latcom;
    L.code(i) = 1;
    if (L.nila + 1 > cap::ilalen) {
        no_room("private integers", 1, cap::ilalen - L.nila);
        foundation::logpri("global constant ilalen too small");
        return false;
    }
    L.nila = L.nila + 1;
    L.nila_at(i) = L.nila;
    L.ila(L.nila) = e.m;
    if (L.nrla + multipole_reals > cap::rlalen) {
        no_room("private reals", multipole_reals, cap::rlalen - L.nrla);
        foundation::logpri("global constant rlalen too small");
        return false;
    }
    L.rla(L.nrla + mp_hoff) = e.hoff;
    L.rla(L.nrla + mp_voff) = e.voff;
    L.rla(L.nrla + mp_strength) = e.strength;
    L.rla(L.nrla + mp_alpha) = e.alpha;
    L.nrla = L.nrla + multipole_reals;
    L.nrla_at(i) = L.nrla;
    return true;
}

// A position block of a thick element and the boundary it places: the
// entry (straight), or the exit with the dipole's radius (straight for the
// others) and the section data of the element's body.
bool thick_boundary(const ThickElement& e, bool exit, std::int32_t& ierr) {
    Pos4 pos;
    std::string marker;
    Logical duty = true;
    lyposi(pos, marker, duty, ierr);
    if (ierr == 0) positi(exit ? e.r : 0.0, pos, marker, duty, ierr);
    if (ierr != 0) return false;
    auto& L = latcom;
    const int i = L.nfb;
    L.thick(i) = 1;
    if (exit && e.kind != 1) return multipole_data(e, i);
    L.code(i) = 0;
    L.nila_at(i) = L.nila;
    L.nrla_at(i) = L.nrla;
    return true;
}

}  // namespace

void lymult(std::int32_t& ierr, std::int32_t kind) {
    constexpr std::string_view errline = "error in dipole/multipole";
    ThickElement e{kind, kind};
    // 0: entry position expected, 1: entry read, 2: properties read, 3: exit read
    int stage = 0;
    ierr = 0;
    foundation::getspc(foundation::block_open, ierr);
    if (ierr != 0) return fail(errline, ierr);
    for (;;) {
        std::string word;
        foundation::getcmd(word, ierr);
        if (ierr != 0) return fail(errline, ierr);
        if (word == foundation::block_close) return;
        if (word == "position" && (stage == 0 || stage == 2)) {
            const bool exit = (stage == 2);
            if (!thick_boundary(e, exit, ierr)) return fail(errline, ierr);
            stage = exit ? 3 : 1;
        } else if (word == "properties" && stage == 1) {
            lymupr(e.r, e.strength, e.alpha, e.hoff, e.voff, e.m, ierr);
            if (ierr != 0) return fail(errline, ierr);
            stage = 2;
        } else {
            unexpected(kind == 1 ? "dipole" : kind == 2 ? "quadrupole" : "multipole", word, thick_expected[stage]);
            return fail(errline, ierr);
        }
    }
}

void lytiqp(double& effective_length, double& quadrupole_k, std::int32_t& ierr) {
    static constexpr std::array<std::string_view, 2> cid = {"effective_length", "quadrupole_k"};
    std::array<std::string, 2> cval;
    std::array<Logical, 2> lset{};
    ierr = 0;
    foundation::read_block(cid, cval, lset, ierr);
    if (ierr == 0 && (!lset[0] || !lset[1])) {
        foundation::log_where("a thin_quadrupole needs effective_length and quadrupole_k");
        ierr = 1;
    }
    if (ierr == 0 && (foundation::key_real(cid[0], cval[0], effective_length) != 0 ||
                      foundation::key_real(cid[1], cval[1], quadrupole_k) != 0))
        ierr = 1;
    // the kick L*k must be a number: an overflowing product would make every
    // particle through it infinite
    if (ierr == 0 && !std::isfinite(effective_length * quadrupole_k)) {
        foundation::log_where("effective_length * quadrupole_k is not a finite number");
        ierr = 1;
    }
    if (ierr != 0) foundation::logpri("error in thin_quadrupole_properties");
}

namespace {

// What a thin_quadrupole's block expects after nothing (stage 0), its
// position (1) and its properties (2).
constexpr std::string_view thin_quad_expected[] = {"position", "properties", "}"};

// Position block of a thin element (no duty boundary unless the block says
// so) and the straight boundary it places.
void thin_position(std::int32_t& ierr) {
    Pos4 pos;
    std::string marker;
    Logical duty = false;
    lyposi(pos, marker, duty, ierr);
    if (ierr == 0) positi(0.0, pos, marker, duty, ierr);
}

}  // namespace

void lytiqu(std::int32_t& ierr) {
    constexpr std::string_view errline = "error in thin_quadrupole";
    double el = 0.0, qk = 0.0;
    int stage = 0;  // 0 nothing, 1 position, 2 properties
    ierr = 0;
    foundation::getspc(foundation::block_open, ierr);
    if (ierr != 0) return fail(errline, ierr);
    auto& L = latcom;
    for (;;) {
        std::string word;
        foundation::getcmd(word, ierr);
        if (ierr != 0) return fail(errline, ierr);
        if (word == "position" && stage == 0) {
            thin_position(ierr);
            if (ierr != 0) return fail(errline, ierr);
            stage = 1;
        } else if (word == "properties" && stage == 1) {
            lytiqp(el, qk, ierr);
            if (ierr != 0) return fail(errline, ierr);
            const int i = L.nfb;
            L.thick(i) = 0;
            L.code(i) = 1;
            L.nila_at(i) = L.nila;
            if (L.nrla + thin_quad_reals > cap::rlalen) {
                no_room("private reals", thin_quad_reals, cap::rlalen - L.nrla);
                foundation::logpri("increase rlalen (latcom)");
                return fail(errline, ierr);
            }
            L.nrla = L.nrla + thin_quad_reals;
            L.nrla_at(i) = L.nrla;
            stage = 2;
        } else if (word == foundation::block_close && stage == 2) {
            // M1 (kick) and M2 (its inverse transpose), 4x4 column by column
            // on (u, u', z, z')
            const int b = L.nrla - thin_quad_reals;
            const int b2 = b + kick_matrix_reals;
            const double lk = el * qk;
            for (int k = 1; k <= thin_quad_reals; ++k) L.rla(b + k) = 0.0;
            for (int d = 1; d <= 4; ++d) {
                L.rla(matrix_word(b, d, d)) = 1.0;
                L.rla(matrix_word(b2, d, d)) = 1.0;
            }
            L.rla(matrix_word(b, 2, 1)) = -lk;
            L.rla(matrix_word(b, 4, 3)) = lk;
            L.rla(matrix_word(b2, 1, 2)) = lk;
            L.rla(matrix_word(b2, 3, 4)) = -lk;
            return;
        } else {
            unexpected("thin_quadrupole", word, thin_quad_expected[stage]);
            return fail(errline, ierr);
        }
    }
}

void lydifp(std::int32_t& type, std::int32_t& nint, std::int32_t& nreal, std::int32_t& ierr) {
    static constexpr std::array<std::string_view, 3> cid = {"type", "integer", "real"};
    std::array<std::string, 3> cval;
    std::array<Logical, 3> lset{};
    ierr = 0;
    foundation::read_block(cid, cval, lset, ierr);
    if (ierr == 0 && (!lset[0] || !lset[1] || !lset[2])) {
        foundation::log_where("a discrete_free needs type, integer and real");
        ierr = 1;
    }
    if (ierr == 0 && (foundation::key_int(cid[0], cval[0], type) != 0 || foundation::key_int(cid[1], cval[1], nint) != 0 ||
                      foundation::key_int(cid[2], cval[2], nreal) != 0))
        ierr = 1;
    if (ierr != 0) foundation::logpri("error in dicrete_free_properties");
}

void lydifr(std::int32_t& ierr) {
    constexpr std::string_view errline = "error in dicrete_free";
    std::int32_t type = 0, ni = 0, nr = 0;
    int stage = 0;  // 0 nothing, 1 position, 2 properties
    bool iarr = false, rarr = false;
    ierr = 0;
    foundation::getspc(foundation::block_open, ierr);
    if (ierr != 0) return fail(errline, ierr);
    auto& L = latcom;
    for (;;) {
        std::string word;
        foundation::getcmd(word, ierr);
        if (ierr != 0) return fail(errline, ierr);
        if (word == "position" && stage == 0) {
            thin_position(ierr);
            if (ierr != 0) return fail(errline, ierr);
            stage = 1;
        } else if (word == "properties" && stage == 1) {
            lydifp(type, ni, nr, ierr);
            if (ierr != 0) return fail(errline, ierr);
            const int i = L.nfb;
            L.thick(i) = 0;
            L.code(i) = type;
            if (ni < 0) {
                foundation::log_where("integer = " + std::to_string(ni) + " is negative");
                return fail(errline, ierr);
            }
            if (ni > cap::ilalen - L.nila) {  // compared so that no sum can overflow
                no_room("private integers", ni, cap::ilalen - L.nila);
                foundation::logpri("increase ilalen (latcom)");
                return fail(errline, ierr);
            }
            L.nila = L.nila + ni;
            L.nila_at(i) = L.nila;
            if (nr < 0) {
                foundation::log_where("real = " + std::to_string(nr) + " is negative");
                return fail(errline, ierr);
            }
            if (nr > cap::rlalen - L.nrla) {
                no_room("private reals", nr, cap::rlalen - L.nrla);
                foundation::logpri("increase rlalen (latcom)");
                return fail(errline, ierr);
            }
            L.nrla = L.nrla + nr;
            L.nrla_at(i) = L.nrla;
            // A discrete_free boundary coded 1 is taken by the tracking as a
            // thin-quadrupole kick whose 4x4 matrix is the element's first 16 reals.
            if (type == 1 && nr < kick_matrix_reals) {
                foundation::logpri("discrete_free of type 1 needs 16 private reals");
                return fail(errline, ierr);
            }
            // reserved slots start as the list reader's presets
            for (int k = L.nila - ni + 1; k <= L.nila; ++k) L.ila(k) = ftypes::UNDEF_INT;
            for (int k = L.nrla - nr + 1; k <= L.nrla; ++k) L.rla(k) = UNDEF_REAL;
            stage = 2;
        } else if (word == "integer_array" && stage == 2 && !iarr) {
            foundation::getiar(foundation::getagu, L.ila.at(L.nila - ni + 1), ni, ierr);
            if (ierr != 0) return fail(errline, ierr);
            iarr = true;
        } else if (word == "real_array" && stage == 2 && !rarr) {
            foundation::getrar(foundation::getagu, L.rla.at(L.nrla - nr + 1), nr, ierr);
            if (ierr != 0) return fail(errline, ierr);
            rarr = true;
        } else if (word == foundation::block_close && stage == 2) {
            return;
        } else {
            unexpected("discrete_free", word,
                       stage == 0 ? "position" : stage == 1 ? "properties" : "integer_array, real_array or }");
            return fail(errline, ierr);
        }
    }
}

void lylatt(std::int32_t& ierr) {
    inilat(ierr);
    foundation::getspc(foundation::block_open, ierr);
    bool done = false;
    while (ierr == 0 && !done) {
        std::string word;
        foundation::getcmd(word, ierr);
        if (ierr != 0) break;
        if (word == foundation::block_close) {
            done = true;
        } else if (word == "dipole") {
            lymult(ierr, 1);
        } else if (word == "quadrupole") {
            lymult(ierr, 2);
        } else if (word == "multipole") {
            lymult(ierr, 0);
        } else if (word == "thin_quadrupole") {
            lytiqu(ierr);
        } else if (word == "discrete_free") {
            lydifr(ierr);
        } else {
            foundation::log_where("unknown element " + foundation::quoted(word) +
                                  " (dipole, quadrupole, multipole, thin_quadrupole, discrete_free)");
            ierr = 1;
        }
    }
    if (done) {
        // section lengths, straight to standard output
        for (int i = 1; i <= latcom.nfb - 1; ++i) {
            const double len = latcom.s(i + 1) - latcom.s(i);
            foundation::stdout_line(foundation::ld_line({"section", foundation::ld_int(i), " length=", foundation::ld_real(len)}));
            if (len < 0.0) ierr = ierr + 1;
        }
        latout();
        warn_duplicate_markers();
        foundation::logpri("end of lattice definition");
        if (ierr == 0) return;
    }
    if (ierr == 0) ierr = 1;
    foundation::logpri("error in lattice");
}

}  // namespace lattice
