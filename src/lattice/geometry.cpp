#include "lattice/geometry.hpp"

#include <cmath>

#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"

namespace lattice {

Section section_field(const Latcom& L, int ifb, bool fwd, double p0) {
    Section s;
    const int i = ifb;
    if (i <= 1 || i > L.nfb) return s;
    // A thin element sits at boundary i: the section before it has no field
    // data of its own (the element acts at the boundary only).
    if (L.thick(i) == 0) return s;
    const int code = L.code(i);
    if (code == 0) {
        const double r = L.r(i);
        if (r != 0.0) {
            s.kind = Field::uniform;
            s.B = p0 / r;
        }
        return s;
    }
    if (code == 1) {
        // private data of a thick multipole: ila(ni) the order, then its
        // four reals, the last of the element
        const int ni = L.nila_at(i);
        const int nr = L.nrla_at(i);
        const int m = (ni >= 1 && ni <= cap::ilalen) ? L.ila(ni) : 0;
        if (m < 1 || nr < multipole_reals || nr > cap::rlalen) {
            foundation::stdout_line(" multipole with invalid azimuthal order");
            return s;
        }
        const int b = nr - multipole_reals;
        const double h = L.rla(b + mp_hoff);
        const double v = L.rla(b + mp_voff);
        const double strength = L.rla(b + mp_strength);
        const double alpha = L.rla(b + mp_alpha);
        if (m == 1) {
            const double B = strength * p0;
            if (B != 0.0) {
                s.kind = Field::uniform;
                s.B = B;
            }
            return s;
        }
        if (strength == 0.0) return s;
        const int e = fwd ? i - 1 : i;
        const double tx = L.tx(e), ty = L.ty(e);
        s.kind = Field::multipole;
        s.m = m;
        s.strength = strength;
        s.alpha = alpha;
        s.a = std::atan2(ty, tx);
        s.xc = L.x(e) - ty * h;
        s.yc = L.y(e) + tx * h;
        s.v = v;
        return s;
    }
    foundation::stdout_line(" nothing implemented for this case");
    return s;
}

CircleMeeting circle_meets_line(double tx, double ty, double nx, double ny, double d, double R) {
    CircleMeeting c;
    const double c1 = tx * nx + ty * ny;
    const double c2 = tx * ny - ty * nx;
    const double q = d / R + c2;
    if (std::fabs(q) > 1.0) return c;
    const double w = std::sqrt(1.0 - q * q);
    const double dd = 1.0 / (c1 * c1 + c2 * c2);
    c.meets = true;
    c.phi1 = std::atan2((c2 * w - q * c1) * dd, (c1 * w + q * c2) * dd);
    c.phi2 = std::atan2((-w * c2 - q * c1) * dd, (-c1 * w + q * c2) * dd);
    return c;
}

bool latget(const Latcom& L, int ifb, std::array<double, 16>& tm, std::array<double, 4>& fbv) {
    const bool lthin = ifb >= 1 && ifb <= L.nfb && L.thick(ifb) == 0 && L.code(ifb) == 1;
    if (!lthin) return false;
    const int b = ifb == 1 ? 0 : L.nrla_at(ifb - 1);  // the element's reals follow b
    if (b < 0 || b + kick_matrix_reals > cap::rlalen) {
        // The element's matrix is not in the private reals: no kick.
        return false;
    }
    for (int l = 1; l <= 4; ++l)
        for (int k = 1; k <= 4; ++k) tm[std::size_t(matrix_word(-1, k, l))] = L.rla(matrix_word(b, k, l));
    fbv = {L.x(ifb), L.y(ifb), L.tx(ifb), L.ty(ifb)};
    return true;
}

}  // namespace lattice
