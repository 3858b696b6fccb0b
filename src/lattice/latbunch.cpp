// The bunch on the lattice: next-boundary indices, curvature tables,
// reference crossing times, the next duty boundary and the thin-quadrupole
// matrices handed to the tracking.
#include "lattice/latbunch.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "lattice/geometry.hpp"
#include "lattice/latcom.hpp"
#include "lattice/track.hpp"

namespace lattice {

namespace {

// Copies boundary record i into curvature-change row j.
void put_chg(int j, int i) {
    for (int k = 1; k <= 8; ++k) latcom.fbchg(k, j) = latcom.fb(k, i);
}

}  // namespace

void inila2(foundation::ConstParticleView part, foundation::IndexView idx, double ct, double p0,
            ftypes::Logical& lfbidx, std::int32_t& ierr) {
    Latcom& L = latcom;
    const int nfb = std::clamp<int>(L.nfb, 0, cap::maxlat);

    for (int i = 2; i <= nfb; ++i) {
        if (L.s(i) <= L.s(i - 1)) {
            ierr = 1;
            foundation::logpri("boundary " + std::to_string(i) + " lies at s = " + foundation::short_real(L.s(i)) +
                               " m, not after boundary " + std::to_string(i - 1) + " at s = " +
                               foundation::short_real(L.s(i - 1)) + " m");
            foundation::logpri("error in inila2: non positive distance between fbs");
            return;
        }
    }
    ierr = 0;

    // Without a bunch, or with a reference particle that cannot move, the
    // bunch cannot be placed on the lattice.
    if (part.size() < 1 || !(part.p(1) > 0.0) || !std::isfinite(part.p(1))) {
        ierr = 1;
        foundation::logpri(part.size() < 1 ? "no particles to place on the lattice: no particles layer read"
                                           : "the reference particle 1 does not move");
        foundation::logpri("error in inila2");
        return;
    }

    // Next boundary of every particle: the first boundary it lies before.
    if (!(lfbidx && L.lfbok)) {
        for (int p = 1; p <= part.size(); ++p) {
            const double x = part.x(p), y = part.y(p);
            int j = 1;
            for (; j <= nfb; ++j) {
                if ((L.x(j) - x) * L.nx(j) + (L.y(j) - y) * L.ny(j) > 0.0) break;
            }
            idx.next(p) = j;
            idx.word2(p) = 0;
        }
        lfbidx = true;
        L.lfbok = true;
    }

    // Boundaries where the arc radius changes, and the (s, r) table.
    int first_arc = 0;
    for (int i = 2; i <= nfb; ++i) {
        if (L.r(i) != 0.0) {
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
            if (L.r(i) != L.r(i + 1)) put_chg(++nc, i);
        }
        if (nfb > a && L.r(nfb) != 0.0) put_chg(++nc, nfb);
    }
    L.nfbchg = nc;
    for (int j = 1; j <= nc - 1; ++j) {
        L.sr_s(j) = L.chg_s(j);
        L.sr_r(j) = L.chg_r(j + 1);
    }
    L.sr_s(nc) = L.chg_s(nc);
    L.sr_r(nc) = 0.0;

    // Reference crossing times of every boundary.
    if (nfb >= 1) {
        // the reference particle's state and c*t at each boundary
        std::array<double, 7 * cap::maxlat> bp;
        const foundation::CrossingView BP(bp.data(), cap::maxlat);
        fbpts(L, part.record(1).first<6>(), idx.next(1), ct, BP, p0, 1);
        for (int i = 1; i <= nfb; ++i) L.ctfb(i) = BP.ct(i);
    }
}

void titofb(foundation::ConstParticleView part, foundation::ConstIndexView idx, double ct, int i,
            int ifbt, double p0, double& ctout, bool& ok) {
    ok = false;
    if (i < 1 || i > part.size()) return;
    std::array<double, 6> w;
    const auto src = part.state(i);
    std::copy(src.begin(), src.end(), w.begin());
    std::int32_t j = idx.next(i);
    if (j > ifbt) return;
    bool lcross = false;
    double t = ct;
    const double target = ct + foundation::far_time;
    while (j <= ifbt) {
        const std::int32_t jb = j;
        cstrck(latcom, w, j, lcross, t, target, no_force, p0);
        if (j != jb + 1) {
            // The leg did not end on its boundary: the particle cannot reach it.
            ok = false;
            return;
        }
        ctout = t;
    }
    ok = true;
}

void latti2(foundation::ConstParticleView part, foundation::ConstIndexView idx, double ct, double p0,
            std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax, std::int32_t& ifbmax,
            std::int32_t& ierr) {
    const Latcom& L = latcom;
    const int nfb = std::clamp<int>(L.nfb, 0, cap::maxlat);
    const int np = part.size();
    ierr = 0;
    lany = false;
    ifbdut = 0;
    ctmin = ct;
    ctmax = ct;
    ifbmax = 0;
    for (int p = 1; p <= np; ++p) ifbmax = std::max<std::int32_t>(ifbmax, idx.next(p));

    int d = 0;
    for (int i = 1; i <= nfb; ++i)
        if (L.fbduty(i)) d = i;
    if (d == 0) return;

    // first duty boundary at or after each boundary
    std::array<std::int32_t, cap::maxlat + 1> duty_from{};
    auto IFBDUT = [&](int j) -> std::int32_t& { return duty_from[std::size_t(j - 1)]; };
    for (int j = d; j >= 1; --j) IFBDUT(j) = L.fbduty(j) ? j : IFBDUT(j + 1);

    int best = 0;
    for (int p = 1; p <= np; ++p) {
        const int j = std::max<int>(idx.next(p), 1);
        if (j <= d && (best == 0 || IFBDUT(j) < best)) best = IFBDUT(j);
    }
    if (best == 0) return;
    ifbmax = std::max<std::int32_t>(ifbmax, best);

    double tmin = 0.0, tmax = 0.0;
    bool any = false;
    for (int p = 1; p <= np; ++p) {
        const int j = std::max<int>(idx.next(p), 1);
        if (j > d || IFBDUT(j) != best) continue;
        double ctp = 0.0;
        bool ok = false;
        titofb(part, idx, ct, p, best, p0, ctp, ok);
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

}  // namespace lattice
