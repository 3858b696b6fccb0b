#include "bunch/particles.hpp"

#include <cmath>

#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"

namespace bunch {

Prtcls prtcls;

namespace {

using foundation::clight;  // for the "vantu" time in ns

// The "vantu" columns in ns and nC.
constexpr double nano = 1e-09;

// A list-directed log record of a label and a real value.
void log_value(const char* label, double v) { foundation::logpri(foundation::ld_line({label, foundation::ld_real(v)})); }

// Reads the value of "key = value": the "=" and the value token.
void get_value(std::string& val, std::int32_t& ierr) {
    foundation::getspc("=", ierr);
    if (ierr != 0) return;
    std::int32_t lspec = 0;
    foundation::getagu(val, lspec, ierr);
}

// What is wrong with particle i of the list: found of its numbers were
// read, expected make a particle; bad is the token that stopped the group.
void group_failed(int i, int found, int expected, const std::string& bad, bool token_read,
                  const char* kind = "a number") {
    std::string what = "particle " + std::to_string(i) + ": " + std::to_string(found) + " of " +
                       std::to_string(expected) + " numbers found";
    if (!token_read) what += ", the deck ends";
    else if (bad == foundation::block_close) what += ", the list ends";
    else what += ", " + foundation::quoted(bad) + " is not " + kind;
    foundation::log_where(what);
}

// Reads n further tokens of particle i's group as reals into v[1..n] (v[0]
// and the first of the group are read); count the numbers of the group.
void get_reals(double* v, int n, int i, int count, std::int32_t& ierr) {
    std::string tok;
    std::int32_t lspec = 0;
    for (int k = 1; k <= n; ++k) {
        foundation::getagu(tok, lspec, ierr);
        if (ierr != 0) return group_failed(i, k, count, tok, false);
        ierr = foundation::read_real(tok, v[k]);
        if (ierr != 0) return group_failed(i, k, count, tok, true);
    }
}

// The first token of a group, through the command reader so that "#file"
// and "#eof" work between groups. Returns true when the list goes on.
bool next_group(std::string& cmd, std::int32_t& ierr) {
    foundation::getcmd(cmd, ierr);
    if (ierr != 0) return false;
    if (cmd == foundation::block_close) return false;
    if (prtcls.npart >= cap::maxprt) {
        foundation::log_where("the list holds more than 300000 particles, the largest bunch");
        foundation::logpri("npart.ge.maxprt");
        ierr = 1;
        return false;
    }
    return true;
}

void list_failed(std::int32_t& ierr) {
    if (ierr == 0) ierr = 1;
    foundation::logpri("error in array with particles");
}

}  // namespace

void iniprt(std::int32_t& ierr) {
    prtcls.reference_point_x = 0.0;
    prtcls.reference_point_y = 0.0;
    prtcls.reference_point_phi = 0.0;
    prtcls.qtot = 0.0;
    prtcls.npart = 0;
    prtcls.lfbidx = false;
    ierr = 0;
}

void readp1(std::string& cmd, std::int32_t& ierr) {
    ierr = 0;
    prtcls.npart = 0;
    bool header = true;
    while (next_group(cmd, ierr)) {
        double v[7];
        ierr = foundation::read_real(cmd, v[0]);
        if (ierr != 0) {
            if (header) foundation::log_where("the list header's c*t " + foundation::quoted(cmd) + " is not a number");
            else group_failed(prtcls.npart + 1, 0, 7, cmd, true);
            break;
        }
        if (header) {
            // c*t of the bunch, then six words that are not converted
            prtcls.ctptcl = v[0];
            std::string tok;
            std::int32_t lspec = 0;
            for (int k = 0; k < 6 && ierr == 0; ++k) foundation::getagu(tok, lspec, ierr);
            if (ierr != 0) break;
            header = false;
            continue;
        }
        const int i = ++prtcls.npart;
        get_reals(v, 6, i, 7, ierr);
        if (ierr != 0) break;
        double* r = prtcls.xptcl.col(i);
        for (int k = 0; k < 7; ++k) r[k] = v[k];
        prtcls.ldef(i) = true;
        prtcls.lact(i) = (v[6] != 0.0);
    }
    if (ierr == 0 && prtcls.npart == 0) {
        foundation::log_where("the list holds no particle");
        ierr = 1;
    }
    if (ierr != 0) list_failed(ierr);
}

void readp2(std::string& cmd, std::int32_t& ierr) {
    ierr = 0;
    prtcls.npart = 0;
    while (next_group(cmd, ierr)) {
        double v[8];
        const int i = prtcls.npart + 1;
        ierr = foundation::read_real(cmd, v[0]);
        if (ierr != 0) {
            group_failed(i, 0, 10, cmd, true);
            break;
        }
        get_reals(v, 7, i, 10, ierr);
        if (ierr != 0) break;
        std::int32_t iw[2];
        std::string tok;
        std::int32_t lspec = 0;
        for (int k = 0; k < 2 && ierr == 0; ++k) {
            foundation::getagu(tok, lspec, ierr);
            if (ierr != 0) {
                group_failed(i, 8 + k, 10, tok, false);
            } else if (foundation::read_int(tok, iw[k]) != 0) {
                ierr = 1;
                group_failed(i, 8 + k, 10, tok, true, "an integer");
            }
        }
        if (ierr != 0) break;
        prtcls.npart = i;
        double* r = prtcls.xptcl.col(i);
        // columns: y z x py pz px t[ns] q[nC] (unused) status
        r[0] = v[2];
        r[1] = v[0];
        r[2] = v[1];
        r[3] = v[5];
        r[4] = v[3];
        r[5] = v[4];
        r[6] = v[7] * nano;  // nC to C
        if (i == 1) prtcls.ctptcl = v[6] * nano * clight;  // ns to c*t [m]
        prtcls.ldef(i) = true;
        prtcls.lact(i) = (r[6] != 0.0 && (iw[1] == 3 || iw[1] == 5));
    }
    if (ierr == 0 && prtcls.npart == 0) {
        foundation::log_where("the list holds no particle");
        ierr = 1;
    }
    if (ierr != 0) list_failed(ierr);
}

namespace {

// The input frame of a list: particle 1 in the lab frame (position,
// momentum in eV/c and its magnitude p1 as listed) and the unit vectors of
// the offsets of the other particles.
struct ListFrame {
    double X1 = 0.0, Y1 = 0.0, Z1 = 0.0;
    double PX1 = 0.0, PY1 = 0.0, PZ1 = 0.0;
    double p1 = 0.0;
    double e1[3] = {}, e2[3] = {}, e3[3] = {};

    // Momentum [eV/c] in the lab frame of a record listing the offsets.
    void lab_momentum(const double* r, double* pm) const {
        for (int k = 0; k < 3; ++k) {
            pm[k] = (k == 0 ? PX1 : k == 1 ? PY1 : PZ1) + r[3] * e1[k] + r[4] * e2[k] +
                    r[5] * e3[k];
        }
    }
};

// The frame of the list (iform 2 "fmt2", else the rotation); false, after
// its line, when particle 1 gives none.
bool list_frame(std::int32_t iform, ListFrame& f) {
    const auto& b = prtcls;
    // the rotation by reference_point_phi
    const double c = std::cos(b.reference_point_phi);
    const double s = std::sin(b.reference_point_phi);
    const double* r1 = b.xptcl.col(1);
    const double x1 = r1[0], y1 = r1[1], z1 = r1[2];
    const double px1 = r1[3], py1 = r1[4], pz1 = r1[5];
    f.p1 = std::sqrt(px1 * px1 + py1 * py1 + pz1 * pz1);
    if (!(f.p1 > 0.0) || !std::isfinite(f.p1)) {
        foundation::log_where("the reference particle 1 has momentum " + foundation::short_real(f.p1) + " eV/c");
        return false;
    }
    const double dx = x1 - b.reference_point_x;
    const double dy = y1 - b.reference_point_y;
    f.X1 = c * dx + s * dy;
    f.Y1 = -s * dx + c * dy;
    f.Z1 = z1;
    f.PX1 = c * px1 + s * py1;
    f.PY1 = -s * px1 + c * py1;
    f.PZ1 = pz1;
    if (iform == 2) {
        // along the reference momentum, taken in the lab frame (after the
        // rotation), horizontal-transverse and the third completing them:
        // the frame in which the monitors write "fmt2" offsets
        const double a = f.PX1 / f.p1, bb = f.PY1 / f.p1, g = f.PZ1 / f.p1;
        const double nn = std::sqrt(a * a + bb * bb);
        if (!(nn > 0.0)) {
            foundation::log_where("fmt2 needs particle 1 to move with a horizontal momentum component");
            return false;
        }
        f.e1[0] = a; f.e1[1] = bb; f.e1[2] = g;
        f.e2[0] = -bb / nn; f.e2[1] = a / nn; f.e2[2] = 0.0;
        f.e3[0] = -a * g / nn; f.e3[1] = -bb * g / nn; f.e3[2] = nn;
    } else {
        f.e1[0] = c; f.e1[1] = -s; f.e1[2] = 0.0;
        f.e2[0] = s; f.e2[1] = c; f.e2[2] = 0.0;
        f.e3[0] = 0.0; f.e3[1] = 0.0; f.e3[2] = 1.0;
    }
    return true;
}

// Every particle 2..n has a finite nonzero momentum; false after the line
// naming the first that has not.
bool momenta_valid(const ListFrame& f, int n) {
    for (int i = 2; i <= n; ++i) {
        double pm[3];
        f.lab_momentum(prtcls.xptcl.col(i), pm);
        const double p2 = pm[0] * pm[0] + pm[1] * pm[1] + pm[2] * pm[2];
        if (!(p2 > 0.0) || !std::isfinite(p2)) {
            foundation::log_where("particle " + std::to_string(i) + " has momentum " +
                                  foundation::short_real(std::sqrt(p2)) + " eV/c");
            return false;
        }
    }
    return true;
}

// Particles 2..n, then particle 1, into the lab frame of the lattice.
// Returns the sum of the momentum magnitudes in eV/c, particle 1 first.
double to_lab_frame(const ListFrame& f, int n) {
    double psum = f.p1;
    for (int i = 2; i <= n; ++i) {
        double* r = prtcls.xptcl.col(i);
        double pm[3];
        f.lab_momentum(r, pm);
        const double pos[3] = {f.X1 + r[0] * f.e1[0] + r[1] * f.e2[0] + r[2] * f.e3[0],
                               f.Y1 + r[0] * f.e1[1] + r[1] * f.e2[1] + r[2] * f.e3[1],
                               f.Z1 + r[0] * f.e1[2] + r[1] * f.e2[2] + r[2] * f.e3[2]};
        const double pa = std::sqrt(pm[0] * pm[0] + pm[1] * pm[1] + pm[2] * pm[2]);
        psum += pa;
        r[0] = pos[0];
        r[1] = pos[1];
        r[2] = pos[2];
        r[3] = pa * foundation::force_scale;  // eV/c to m*c
        r[4] = std::atan2(pm[1], pm[0]);
        r[5] = std::asin(pm[2] / pa);
    }
    double* r1 = prtcls.xptcl.col(1);
    r1[0] = f.X1;
    r1[1] = f.Y1;
    r1[2] = f.Z1;
    r1[3] = f.p1 * foundation::force_scale;
    r1[4] = std::atan2(f.PY1, f.PX1);
    r1[5] = std::asin(f.PZ1 / f.p1);
    return psum;
}

// Charge: a bunch whose active charges sum to a negative value is stored
// with all charges negated and qsign -1.
void charge_sign(double charge, int n) {
    auto& b = prtcls;
    if (charge >= 0.0) {
        b.qsign = 1;
        b.qtot = charge;
    } else {
        b.qsign = -1;
        b.qtot = -charge;
        for (int i = 1; i <= n; ++i) b.xptcl(7, i) = -b.xptcl(7, i);
    }
}

}  // namespace

void ptrafo(std::int32_t iform, std::int32_t imode, std::int32_t& ierr, const std::string& p0_place) {
    ierr = 0;
    auto& b = prtcls;
    const int n = b.npart;
    // A list that cannot be transformed is refused before anything changes:
    // no particle, a reference particle of zero momentum, a given reference
    // momentum that is not positive.
    if (n < 1 || (imode == 3 && !(b.p0 > 0.0))) {
        if (n >= 1) foundation::log_where("the reference_momentum given is not > 0", p0_place);
        list_failed(ierr);
        return;
    }
    // The total charge must be a number: charges whose sum overflows give
    // no bunch charge (and no fields) to work with.
    double charge = 0.0;
    for (int i = 1; i <= n; ++i)
        if (b.lact(i)) charge += b.xptcl(7, i);
    if (!std::isfinite(charge)) {
        foundation::log_where("the charges of the active particles sum beyond the range of numbers");
        list_failed(ierr);
        return;
    }
    // Every particle must have a finite nonzero momentum: checked before any
    // record changes.
    ListFrame f;
    if (!list_frame(iform, f) || !momenta_valid(f, n)) {
        list_failed(ierr);
        return;
    }
    const double psum = to_lab_frame(f, n);
    charge_sign(charge, n);

    // Average momentum over all particles, active or not [m*c]: the summed
    // magnitudes in eV/c converted once, then divided by their number.
    const double pav = psum * foundation::force_scale / n;
    if (imode == 1) b.p0 = b.xptcl(4, 1);
    else if (imode == 2) b.p0 = pav;

    log_value("momentum of reference particle =", b.xptcl(4, 1));
    log_value("averaged momentum              =", pav);
    log_value("reference momentum             =", b.p0);
    log_value("total charge / C               =", b.qsign * b.qtot);
}

void lypart(std::int32_t& ierr) {
    std::string cmd, val;
    std::string p0_place;  // where the layer gave its reference momentum, for a refusal of it
    iniprt(ierr);
    std::int32_t iform = 1, imode = 1;
    bool listed = false;  // the layer holds an "array"
    foundation::getspc(foundation::block_open, ierr);
    if (ierr == 0) foundation::getcmd(cmd, ierr);
    prtcls.npart = 0;
    while (ierr == 0) {
        if (cmd == "format") {
            get_value(val, ierr);
            if (ierr != 0) break;
            if (val == "fmt1") iform = 1;
            else if (val == "fmt2") iform = 2;
            else if (val == "vantu") iform = 3;
            else {
                foundation::log_where("format " + foundation::quoted(val) + " is none of fmt1 fmt2 vantu");
                ierr = 1;
            }
        } else if (cmd == "reference_momentum") {
            get_value(val, ierr);
            if (ierr != 0) break;
            if (val == "reference_particle") {
                imode = 1;
            } else if (val == "average") {
                imode = 2;
            } else {
                double v = 0.0;
                ierr = foundation::read_real(val, v);
                if (ierr != 0) {
                    foundation::log_where("reference_momentum " + foundation::quoted(val) +
                                          " is none of reference_particle average or a number");
                    break;
                }
                imode = 3;
                prtcls.p0 = foundation::momentum_ev_to_mc(v);
                p0_place = foundation::deck_place();
            }
        } else if (cmd == "reference_point_x" || cmd == "reference_point_y" ||
                   cmd == "reference_point_phi") {
            get_value(val, ierr);
            if (ierr != 0) break;
            double v = 0.0;
            ierr = foundation::key_real(cmd, val, v);
            if (ierr != 0) break;
            if (cmd == "reference_point_x") prtcls.reference_point_x = v;
            else if (cmd == "reference_point_y") prtcls.reference_point_y = v;
            else prtcls.reference_point_phi = foundation::degrees_quotient_first(v);
        } else if (cmd == "array") {
            foundation::getspc("=", ierr);
            if (ierr != 0) break;
            listed = true;
            if (iform == 3) readp2(cmd, ierr);
            else readp1(cmd, ierr);
            // the list's closing "}" also closes the layer
            break;
        } else {
            break;
        }
        if (ierr == 0) foundation::getcmd(cmd, ierr);
    }
    if (ierr == 0 && cmd == foundation::block_close) {
        // a layer without a list leaves an empty bunch: nothing to transform
        if (listed) ptrafo(iform, imode, ierr, p0_place);
        if (ierr == 0) {
            foundation::logpri(foundation::ld_line({"end of particles definition, npart =",
                                      foundation::ld_int(prtcls.npart)}));
            foundation::logpri(" ");
            return;
        }
    }
    if (ierr == 0) {
        foundation::log_where(foundation::quoted(cmd) + " is not a word of the particles layer");
        ierr = 1;
    }
    foundation::logpri("error in particles");
}

}  // namespace bunch
