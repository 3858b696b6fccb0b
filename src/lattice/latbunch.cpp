// The bunch on the lattice: next-boundary indices, curvature tables,
// reference crossing times, the next duty boundary and the thin-quadrupole
// matrices handed to the tracking.
#include "lattice/latbunch.hpp"

#include <algorithm>
#include <cmath>

#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "lattice/track.hpp"
#include "run/log.hpp"

namespace lattice {

namespace {

// Reference particle's state and c*t at each boundary (7 reals per boundary).
ftypes::Arr2<double, 7, cap::maxlat> BP;
// First duty boundary at or after each boundary.
ftypes::Arr1<std::int32_t, cap::maxlat + 1> IFBDUT;

// Copies boundary record i into curvature-change row j.
void put_chg(int j, int i) {
    for (int k = 1; k <= 8; ++k) latcom.fbchg(k, j) = latcom.fb(k, i);
}

}  // namespace

void inila2(std::int32_t& ierr) {
    Latcom& L = latcom;
    bunch::Prtcls& B = bunch::prtcls;
    const int nfb = std::clamp<int>(L.nfb, 0, cap::maxlat);

    for (int i = 2; i <= nfb; ++i) {
        if (L.fb(7, i) <= L.fb(7, i - 1)) {
            ierr = 1;
            run::logpri("error in inila2: non positive distance between fbs");
            return;
        }
    }
    ierr = 0;

    // Without a bunch, or with a reference particle that cannot move, the
    // bunch cannot be placed on the lattice.
    if (B.npart < 1 || B.npart > cap::maxprt || !(B.xptcl(4, 1) > 0.0) ||
        !std::isfinite(B.xptcl(4, 1))) {
        ierr = 1;
        run::logpri("error in inila2");
        return;
    }

    // Next boundary of every particle: the first boundary it lies before.
    if (!(B.lfbidx && L.lfbok)) {
        for (int p = 1; p <= B.npart; ++p) {
            const double x = B.xptcl(1, p), y = B.xptcl(2, p);
            int j = 1;
            for (; j <= nfb; ++j) {
                if ((L.fb(1, j) - x) * L.fb(5, j) + (L.fb(2, j) - y) * L.fb(6, j) > 0.0) break;
            }
            B.iptcl(1, p) = j;
            B.iptcl(2, p) = 0;
        }
        B.lfbidx = true;
        L.lfbok = true;
    }

    // Boundaries where the arc radius changes, and the (s, r) table.
    int first_arc = 0;
    for (int i = 2; i <= nfb; ++i) {
        if (L.fb(8, i) != 0.0) {
            first_arc = i;
            break;
        }
    }
    int nc = 0;
    if (nfb == 0) {
        // No boundary: one straight row at s = 0.
        for (int k = 1; k <= 8; ++k) L.fbchg(k, 1) = 0.0;
        nc = 1;
    } else if (first_arc == 0) {
        put_chg(1, 1);
        nc = 1;
    } else {
        const int a = first_arc;
        put_chg(1, a - 1);
        put_chg(2, a);
        nc = 2;
        for (int i = a + 1; i <= nfb - 1; ++i) {
            if (L.fb(8, i) != L.fb(8, i + 1)) put_chg(++nc, i);
        }
        if (nfb > a && L.fb(8, nfb) != 0.0) put_chg(++nc, nfb);
    }
    L.nfbchg = nc;
    for (int j = 1; j <= nc - 1; ++j) {
        L.srtab(1, j) = L.fbchg(7, j);
        L.srtab(2, j) = L.fbchg(8, j + 1);
    }
    L.srtab(1, nc) = L.fbchg(7, nc);
    L.srtab(2, nc) = 0.0;

    // Reference crossing times of every boundary.
    if (nfb >= 1) {
        double ref[6];
        for (int k = 1; k <= 6; ++k) ref[k - 1] = B.xptcl(k, 1);
        fbpts(ref, B.iptcl(1, 1), B.ctptcl, BP.data());
        for (int i = 1; i <= nfb; ++i) L.ctfb(i) = BP(7, i);
    }
}

void titofb(int n, const double* part, const std::int32_t* iptcl, double ct, int i, int ifbt,
            double& ctout, bool& ok) {
    ok = false;
    if (i < 1 || i > n) return;
    double w[6];
    const double* src = part + 7 * static_cast<std::size_t>(i - 1);
    for (int k = 0; k < 6; ++k) w[k] = src[k];
    std::int32_t j = iptcl[2 * static_cast<std::size_t>(i - 1)];
    if (j > ifbt) return;
    bool lcross = false;
    double t = ct;
    const double target = ct + 1e300;
    while (j <= ifbt) {
        const std::int32_t jb = j;
        cstrck(w, j, lcross, t, target, 0.0, 1.0, nullptr, nullptr, false);
        if (j != jb + 1) {
            // The leg did not end on its boundary: the particle cannot reach it.
            ok = false;
            return;
        }
        ctout = t;
    }
    ok = true;
}

void latti2(std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax,
            std::int32_t& ifbmax, std::int32_t& ierr) {
    const Latcom& L = latcom;
    const bunch::Prtcls& B = bunch::prtcls;
    const int nfb = std::clamp<int>(L.nfb, 0, cap::maxlat);
    const int np = std::clamp<int>(B.npart, 0, cap::maxprt);
    ierr = 0;
    lany = false;
    ifbdut = 0;
    ctmin = B.ctptcl;
    ctmax = B.ctptcl;
    ifbmax = 0;
    for (int p = 1; p <= np; ++p) ifbmax = std::max<std::int32_t>(ifbmax, B.iptcl(1, p));

    int d = 0;
    for (int i = 1; i <= nfb; ++i)
        if (L.fbduty(i)) d = i;
    if (d == 0) return;

    for (int j = d; j >= 1; --j) IFBDUT(j) = L.fbduty(j) ? j : IFBDUT(j + 1);

    int best = 0;
    for (int p = 1; p <= np; ++p) {
        const int j = std::max<int>(B.iptcl(1, p), 1);
        if (j <= d && (best == 0 || IFBDUT(j) < best)) best = IFBDUT(j);
    }
    if (best == 0) return;
    ifbmax = std::max<std::int32_t>(ifbmax, best);

    double tmin = 0.0, tmax = 0.0;
    bool any = false;
    for (int p = 1; p <= np; ++p) {
        const int j = std::max<int>(B.iptcl(1, p), 1);
        if (j > d || IFBDUT(j) != best) continue;
        double ctp = 0.0;
        bool ok = false;
        titofb(np, B.xptcl.data(), B.iptcl.data(), B.ctptcl, p, best, ctp, ok);
        if (!ok) {
            ierr = 1;
            return;
        }
        if (!any) {
            tmin = ctp;
            tmax = ctp;
            any = true;
        } else {
            tmin = std::min(tmin, ctp);
            tmax = std::max(tmax, ctp);
        }
    }
    ifbdut = best;
    ctmin = tmin;
    ctmax = tmax;
    lany = true;
}

void latget(int ifb, bool& lthin, double* tm, double* fbv) {
    const Latcom& L = latcom;
    lthin = ifb >= 1 && ifb <= L.nfb && L.isect(1, ifb) == 0 && L.isect(2, ifb) == 1;
    if (!lthin) return;
    const int b = ifb == 1 ? 1 : L.isect(4, ifb - 1) + 1;
    if (b < 1 || b - 1 + 16 > cap::rlalen) {
        // The element's matrix is not in the private reals: no kick.
        lthin = false;
        return;
    }
    for (int l = 1; l <= 4; ++l)
        for (int k = 1; k <= 4; ++k) tm[(k - 1) + 4 * (l - 1)] = L.rla(b - 1 + k + 4 * (l - 1));
    for (int k = 1; k <= 4; ++k) fbv[k - 1] = L.fb(k, ifb);
}

}  // namespace lattice
