// Particle tracking through the element fields of the lattice.
//
// A particle is integrated with c*t (m) as the independent variable, section
// by section. A leg ends at the next boundary in the direction of motion or
// at the target time. In a uniform field the integrated variables 1 and 2 are
// the deviation from the particle's ideal circle, so a force-free leg follows
// the circle exactly whatever the step count.
#include "lattice/track.hpp"

#include <cmath>
#include <complex>

#include "include/latcom.hpp"
#include "include/prtcls.hpp"
#include "lattice/latbunch.hpp"
#include "run/math.hpp"
#include "run/platform.hpp"

namespace lattice {

namespace {

constexpr double twopi = 6.283185307179586;

// Largest step count of one integration. A leg that would need more (a
// boundary that cannot be reached with a target time that is practically
// infinite) is not integrated at all.
constexpr double max_steps = 1.0e8;

// Slots of the parameter block (0-based).
constexpr int P_T1 = 0, P_T2 = 1, P_F1 = 2, P_F2 = 5, P_B = 8, P_R = 9, P_M = 10, P_XC = 11,
              P_YC = 12, P_V = 13, P_SP0 = 14, P_ALPHA = 15, P_A = 16;

enum class Field { drift, uniform, multipole };

// Field of the section a leg runs in.
struct Section {
    Field kind = Field::drift;
    double B = 0.0;         // uniform field, m*c per m (positive turns clockwise)
    int m = 0;              // multipole order
    double strength = 0.0;  // multipole strength, m^-m
    double xc = 0.0, yc = 0.0, v = 0.0;  // magnetic centre line and vertical offset (m)
    double alpha = 0.0;     // multipole rotation (rad)
    double a = 0.0;         // direction of the multipole's straight reference line (rad)
};

// Static work storage of one leg: the parameter block and the end derivatives.
double par[npar_track];
double dend[6];

// Force interpolated linearly in c*t between the two sets of the block.
inline void force_at(double ct, const double* q, double& F1, double& F2, double& F3) {
    const double dt = q[P_T2] - q[P_T1];
    const double w = dt != 0.0 ? (q[P_T2] - ct) / dt : 1.0;
    F1 = w * q[P_F1] + (1.0 - w) * q[P_F2];
    F2 = w * q[P_F1 + 1] + (1.0 - w) * q[P_F2 + 1];
    F3 = w * q[P_F1 + 2] + (1.0 - w) * q[P_F2 + 2];
}

// d(phi)/d(ct) and d(theta)/d(ct) for the drift and the uniform field.
inline void angle_rates(double p, double gam, double cth, double B, double F2, double F3,
                        double& dphi, double& dth) {
    dphi = F2 / (p * cth) - B / gam;
    dth = F3 / p;
}

// Field of the section that ends at boundary ifb, for a forward (fwd) or
// backward leg.
Section section_field(int ifb, bool fwd) {
    const Latcom& L = latcom;
    Section s;
    const int i = ifb;
    if (i <= 1 || i > L.nfb) return s;
    // A thin element sits at boundary i: the section before it has no field
    // data of its own (the element acts at the boundary only).
    if (L.isect(1, i) == 0) return s;
    const int code = L.isect(2, i);
    const double p0 = bunch::prtcls.p0;
    if (code == 0) {
        const double r = L.fb(8, i);
        if (r != 0.0) {
            s.kind = Field::uniform;
            s.B = p0 / r;
        }
        return s;
    }
    if (code == 1) {
        const int ni = L.isect(3, i);
        const int nr = L.isect(4, i);
        const int m = (ni >= 1 && ni <= cap::ilalen) ? L.ila(ni) : 0;
        if (m < 1 || nr < 4 || nr > cap::rlalen) {
            run::stdout_line(" multipole with invalid azimuthal order");
            return s;
        }
        const double h = L.rla(nr - 3);
        const double v = L.rla(nr - 2);
        const double strength = L.rla(nr - 1);
        const double alpha = L.rla(nr);
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
        const double tx = L.fb(3, e), ty = L.fb(4, e);
        s.kind = Field::multipole;
        s.m = m;
        s.strength = strength;
        s.alpha = alpha;
        s.a = std::atan2(ty, tx);
        s.xc = L.fb(1, e) - ty * h;
        s.yc = L.fb(2, e) + tx * h;
        s.v = v;
        return s;
    }
    run::stdout_line(" nothing implemented for this case");
    return s;
}

inline double beta_of(double p) { return 1.0 / std::sqrt(1.0 / (p * p) + 1.0); }

// Number of Runge-Kutta steps of a leg from ct to tend, computed in floating
// point; 0 when it is out of range (not finite or beyond max_steps).
int step_count(const Section& s, double bh, double R, double ct, double tend) {
    double nd;
    if (s.kind == Field::uniform) {
        nd = std::floor(std::fabs(bh * (tend - ct)) / (0.02 * std::fabs(R))) + 1.0;
    } else if (s.kind == Field::multipole) {
        nd = std::floor(std::fabs(bh * (tend - ct) * s.strength) / 0.02) + 1.0;
    } else {
        nd = std::floor(std::fabs(bh * (tend - ct)) / 0.04) + 1.0;
    }
    if (!(nd >= 1.0 && nd <= max_steps)) return 0;
    return static_cast<int>(nd);
}

// Fills the parameter block for a leg in section s starting from state y.
void fill_par(const Section& s, double R, double t1, double t2, const double* f1, const double* f2,
              bool lforce) {
    if (lforce) {
        par[P_T1] = t1;
        par[P_T2] = t2;
        for (int k = 0; k < 3; ++k) {
            par[P_F1 + k] = f1[k];
            par[P_F2 + k] = f2[k];
        }
    } else {
        par[P_T1] = 0.0;
        par[P_T2] = 1.0;
        for (int k = 0; k < 3; ++k) {
            par[P_F1 + k] = 0.0;
            par[P_F2 + k] = 0.0;
        }
    }
    par[P_B] = s.B;
    par[P_R] = R;
    par[P_M] = static_cast<double>(s.m);
    par[P_XC] = s.xc;
    par[P_YC] = s.yc;
    par[P_V] = s.v;
    par[P_SP0] = s.strength * bunch::prtcls.p0;
    par[P_ALPHA] = s.alpha;
    par[P_A] = s.a;
}

// Integrates the state y from ct to tend in nstep steps in section s (the
// parameter block already filled). In a uniform field the circle frame is
// used and the lab position rebuilt at the end.
void integrate(double* y, const Section& s, double ct, double tend, int nstep) {
    if (ct + (tend - ct) / nstep == ct) return;
    if (s.kind == Field::uniform) {
        const double x0 = y[0], y0 = y[1], phi0 = y[4];
        const double R = par[P_R];
        double w[6] = {0.0, 0.0, y[2], y[3], y[4], y[5]};
        run::rkdumb(w, 6, ct, tend, nstep, ct2der, par, npar_track);
        const double phie = w[4];
        const double sh = std::sin((phie - phi0) / 2.0);
        const double cp = std::cos(phie), sp = std::sin(phie);
        y[0] = x0 - 2.0 * R * sh * std::cos((phie + phi0) / 2.0) + w[0] * cp - w[1] * sp;
        y[1] = y0 - 2.0 * R * sh * std::sin((phie + phi0) / 2.0) + w[0] * sp + w[1] * cp;
        y[2] = w[2];
        y[3] = w[3];
        y[4] = w[4];
        y[5] = w[5];
    } else {
        run::rkdumb(y, 6, ct, tend, nstep, ctrder, par, npar_track);
    }
}

// Horizontal radius of the particle's circle in a uniform field B.
inline double circle_radius(const double* y, double B) {
    const double p = y[3];
    const double gam = std::sqrt(p * p + 1.0);
    return gam * beta_of(p) * std::cos(y[5]) / B;
}

}  // namespace

void ctrder(double ct, const double* y, double* dydct, const double* q, int /*n*/) {
    const double p = y[3], phi = y[4], th = y[5];
    const double gam = std::sqrt(p * p + 1.0);
    const double beta = beta_of(p);
    const double cth = std::cos(th), sth = std::sin(th);
    double F1, F2, F3;
    force_at(ct, q, F1, F2, F3);
    dydct[0] = beta * std::cos(phi) * cth;
    dydct[1] = beta * std::sin(phi) * cth;
    dydct[2] = beta * sth;
    dydct[3] = F1;
    const int m = static_cast<int>(q[P_M]);
    if (m < 2) {
        angle_rates(p, gam, cth, q[P_B], F2, F3, dydct[4], dydct[5]);
        return;
    }
    // W = strength*p0/(m-1)! (xi + i zeta)^(m-1) exp(-i m alpha)
    const double a = q[P_A];
    const double ca = std::cos(a), sa = std::sin(a);
    const double xi = (y[1] - q[P_YC]) * ca - (y[0] - q[P_XC]) * sa;
    const double zeta = y[2] - q[P_V];
    const std::complex<double> c(xi, zeta);
    // (xi + i zeta)^(m-1) as an integer power, by repeated squaring.
    std::complex<double> pw(1.0, 0.0);
    std::complex<double> sq = c;
    for (unsigned u = static_cast<unsigned>(m - 1);;) {
        if ((u & 1u) != 0u) pw *= sq;
        u >>= 1;
        if (u == 0u) break;
        sq *= sq;
    }
    // (m-1)! as the product of the integers 2..m-1, formed in floating point:
    // exact for every order whose factorial fits an integer, and no overflow
    // for the higher orders a pole count allows.
    double fact = 1.0;
    for (int k = 2; k <= m - 1 && std::isfinite(fact); ++k) fact *= k;
    const double ma = m * q[P_ALPHA];
    // Beyond the largest double the term is far below every other one.
    const std::complex<double> W =
        std::isfinite(fact)
            ? (q[P_SP0] / fact) * pw * std::complex<double>(std::cos(ma), -std::sin(ma))
            : std::complex<double>(0.0, 0.0);
    dydct[4] = F2 / (p * cth) - (W.real() * cth + W.imag() * std::sin(a - phi) * sth) / (gam * cth);
    dydct[5] = F3 / p + W.imag() * std::cos(a - phi) / gam;
}

void ct2der(double ct, const double* y, double* dydct, const double* q, int /*n*/) {
    const double p = y[3], th = y[5];
    const double gam = std::sqrt(p * p + 1.0);
    const double beta = beta_of(p);
    const double cth = std::cos(th), sth = std::sin(th);
    double F1, F2, F3;
    force_at(ct, q, F1, F2, F3);
    double dphi, dth;
    angle_rates(p, gam, cth, q[P_B], F2, F3, dphi, dth);
    dydct[0] = beta * cth + (q[P_R] + y[1]) * dphi;
    dydct[1] = -y[0] * dphi;
    dydct[2] = beta * sth;
    dydct[3] = F1;
    dydct[4] = dphi;
    dydct[5] = dth;
}

void cstrck(double* part, std::int32_t& ifb, bool& lcross, double& ct, double ctend, double t1,
            double t2, const double* f1, const double* f2, bool lforce) {
    if (ctend == ct) return;
    if (std::isnan(ct) || std::isnan(ctend)) {
        lcross = false;
        return;
    }
    // A particle without momentum stays where it is until the target time.
    if (!(part[3] > 0.0)) {
        ct = ctend;
        lcross = false;
        return;
    }
    const Latcom& L = latcom;
    const bool fwd = ctend > ct;
    const double sgn = fwd ? 1.0 : -1.0;
    const int ia = fwd ? ifb : ifb - 1;  // the boundary ahead in the direction of travel
    const bool has_b = ia >= 1 && ia <= L.nfb;

    const Section sec = section_field(ifb, fwd);
    const bool uniform = sec.kind == Field::uniform;

    // Entry edge of a uniform field: vertical kick from the boundary angle.
    if (lcross && uniform) {
        const int e = fwd ? ifb - 1 : ifb;
        if (e >= 1 && e <= L.nfb) {
            const double psie = std::atan2(L.fb(6, e), L.fb(5, e));
            part[5] = part[5] - sec.B * part[2] * std::tan(part[4] - psie) / part[3];
        }
    }

    const double bh = beta_of(part[3]) * std::cos(part[5]);
    const double R = uniform ? circle_radius(part, sec.B) : 0.0;

    // The boundary line n.(X - P) = 0 of the boundary ahead.
    double Px = 0.0, Py = 0.0, nx = 0.0, ny = 0.0;
    if (has_b) {
        Px = L.fb(1, ia);
        Py = L.fb(2, ia);
        nx = L.fb(5, ia);
        ny = L.fb(6, ia);
    }

    fill_par(sec, R, t1, t2, f1, f2, lforce);

    // The boundary is crossed in the direction of its normal: forward in
    // time from before the line to behind it, backward in time the other way.
    // "Past" means already on the far side in the direction of travel.
    double tend = ctend;
    bool start_past = false;
    bool aimed = false;  // tend is the estimated crossing time
    if (has_b) {
        const double d = nx * (Px - part[0]) + ny * (Py - part[1]);
        const double tx = std::cos(part[4]), ty = std::sin(part[4]);
        const double vt = nx * tx + ny * ty;
        start_past = sgn * d <= 0.0;
        if (start_past && vt > 0.0) {
            // Already on the far side and moving across the line: the
            // crossing happens now, without moving (never back in time).
            if (uniform) {
                const double psia = std::atan2(ny, nx);
                part[5] = part[5] + sec.B * part[2] * std::tan(part[4] - psia) / part[3];
            }
            ifb = fwd ? ifb + 1 : ifb - 1;
            lcross = true;
            return;
        }
        // Path length to the boundary line along the straight line or the circle.
        double Lp = 0.0;
        if (uniform) {
            const double c1 = tx * nx + ty * ny;
            const double c2 = tx * ny - ty * nx;
            const double q = d / R + c2;
            if (std::fabs(q) <= 1.0) {
                const double w = std::sqrt(1.0 - q * q);
                const double dd = 1.0 / (c1 * c1 + c2 * c2);
                // ph1 is the meeting where the motion runs along the normal.
                const double ph1 = std::atan2((c2 * w - q * c1) * dd, (c1 * w + q * c2) * dd);
                const double ph2 = std::atan2((-w * c2 - q * c1) * dd, (-c1 * w + q * c2) * dd);
                double L1 = -R * ph1, L2 = -R * ph2;
                const double full = twopi * std::fabs(R);
                if (fwd) {
                    if (L1 < 0.0) L1 += full;
                    if (L2 < 0.0) L2 += full;
                    Lp = std::fmin(L1, L2);
                } else {
                    if (L1 > 0.0) L1 -= full;
                    if (L2 > 0.0) L2 -= full;
                    Lp = std::fmax(L1, L2);
                }
                // From the far side the first meeting runs against the
                // normal; the crossing is the other one.
                if (start_past) Lp = L1;
                aimed = true;
            }
        } else if (!start_past && vt > 0.0) {
            Lp = d / vt;
            aimed = true;
        }
        if (aimed && bh > 0.0) {
            const double te = ct + Lp / bh;
            if (std::isfinite(te)) {
                tend = fwd ? std::fmin(te, ctend) : std::fmax(te, ctend);
            } else {
                aimed = false;
            }
        } else {
            aimed = false;
        }
    }

    const double ct0 = ct;
    const int nstep = step_count(sec, bh, R, ct, tend);
    if (nstep == 0) {
        // Not integrable (a boundary out of reach with a practically infinite
        // target): the particle stays, the caller sees no crossing.
        lcross = false;
        return;
    }
    integrate(part, sec, ct, tend, nstep);

    if (!has_b) {
        ct = tend;
        lcross = false;
        return;
    }

    // Linear correction onto the boundary line with the end derivatives.
    ctrder(tend, part, dend, par, npar_track);
    const double d = nx * (Px - part[0]) + ny * (Py - part[1]);
    const double vn = nx * dend[0] + ny * dend[1];
    const bool past = sgn * d <= 0.0;
    // A particle that started on the far side has crossed only when the leg
    // was aimed at its crossing and it now moves along the normal.
    const bool crossed_already = past && (!start_past || (aimed && vn > 0.0));
    if (!crossed_already && tend == ctend) {
        ct = ctend;
        lcross = false;
        return;
    }
    bool crossed;
    double delta;
    if (crossed_already) {
        // Crossed during the leg: step back onto the line, never before the start.
        crossed = true;
        delta = vn > 0.0 ? d / vn : 0.0;
        if (sgn * (tend + delta - ct0) < 0.0) delta = ct0 - tend;
    } else if (!past && vn > 0.0) {
        delta = d / vn;
        crossed = sgn * (tend + delta - ctend) < 0.0;
        if (!crossed) delta = ctend - tend;
    } else {
        // Not heading for the line after all: no crossing in this leg; go on
        // to the target time in the same field when that can be integrated.
        lcross = false;
        const double R2 = uniform ? circle_radius(part, sec.B) : 0.0;
        const double bh2 = beta_of(part[3]) * std::cos(part[5]);
        const int n2 = step_count(sec, bh2, R2, tend, ctend);
        if (n2 == 0) {
            ct = tend;
            return;
        }
        par[P_R] = R2;
        integrate(part, sec, tend, ctend, n2);
        ct = ctend;
        return;
    }
    for (int k = 0; k < 6; ++k) part[k] = part[k] + dend[k] * delta;
    if (crossed) {
        ct = tend + delta;
        if (uniform) {
            const double psia = std::atan2(ny, nx);
            part[5] = part[5] + sec.B * part[2] * std::tan(part[4] - psia) / part[3];
        }
        ifb = fwd ? ifb + 1 : ifb - 1;
        lcross = true;
    } else {
        ct = ctend;
        lcross = false;
    }
}

void thin_kick(double* part, const double* tm, const double* fbv) {
    const double xb = fbv[0], yb = fbv[1], tx = fbv[2], ty = fbv[3];
    const double phi = part[4], th = part[5];
    const double cth = std::cos(th);
    const double c = cth * (tx * std::cos(phi) + ty * std::sin(phi));
    // Only a particle moving forward along the reference line gets the kick.
    if (!(c > 0.0)) return;
    double v[4];
    v[0] = (part[0] - xb) * (-ty) + (part[1] - yb) * tx;
    v[1] = cth * (tx * std::sin(phi) - ty * std::cos(phi)) / c;
    v[2] = part[2];
    v[3] = std::sin(th) / c;
    double w[4];
    for (int k = 0; k < 4; ++k) {
        w[k] = 0.0;
        for (int l = 0; l < 4; ++l) w[k] += tm[k + 4 * l] * v[l];
    }
    const double u = w[0], up = w[1], zp = w[3];
    const double N = std::sqrt(up * up + 1.0 + zp * zp);
    part[0] = xb - ty * u;
    part[1] = yb + tx * u;
    part[2] = w[2];
    part[4] = std::atan2((ty + tx * up) / N, (tx - ty * up) / N);
    part[5] = std::asin(zp / N);
}

void trck3d(int n, double* part, std::int32_t* ifb, double ct, double ctend, double t1,
            double t2, const double* f1, const double* f2, bool lforce) {
    double tm[16];
    double fbv[4];
    for (int i = 0; i < n; ++i) {
        double* pi = part + 7 * static_cast<std::size_t>(i);
        std::int32_t& fi = ifb[2 * static_cast<std::size_t>(i)];
        const double* f1i = lforce ? f1 + 3 * static_cast<std::size_t>(i) : nullptr;
        const double* f2i = lforce ? f2 + 3 * static_cast<std::size_t>(i) : nullptr;
        double t = ct;
        if (!(t < ctend)) continue;
        bool lcross = false;
        do {
            const double tb = t;
            cstrck(pi, fi, lcross, t, ctend, t1, t2, f1i, f2i, lforce);
            if (lcross) {
                bool lthin = false;
                latget(fi - 1, lthin, tm, fbv);
                if (lthin) thin_kick(pi, tm, fbv);
            } else if (!(t > tb)) {
                break;  // no progress is possible for this particle
            }
        } while (t < ctend);
    }
}

void fbpts(const double* part, std::int32_t ifb, double ct, double* bp) {
    const int nfb = latcom.nfb;
    double w[6];
    if (ifb <= nfb) {
        for (int k = 0; k < 6; ++k) w[k] = part[k];
        std::int32_t j = ifb;
        bool lcross = false;
        double t = ct;
        const double target = ct + 1e300;
        for (int i = ifb; i <= nfb; ++i) {
            const std::int32_t jb = j;
            cstrck(w, j, lcross, t, target, 0.0, 1.0, nullptr, nullptr, false);
            if (j != jb + 1 || i < 1) run::fatal_stop("error in fbpts (1)");
            double* col = bp + 7 * static_cast<std::size_t>(i - 1);
            for (int k = 0; k < 6; ++k) col[k] = w[k];
            col[6] = t;
        }
    }
    if (ifb > 1) {
        for (int k = 0; k < 6; ++k) w[k] = part[k];
        std::int32_t j = ifb;
        bool lcross = false;
        double t = ct;
        const double target = ct - 1e300;
        const int i0 = ifb < nfb + 1 ? ifb : nfb + 1;
        for (int i = i0; i >= 2; --i) {
            const std::int32_t jb = j;
            cstrck(w, j, lcross, t, target, 0.0, 1.0, nullptr, nullptr, false);
            if (j != jb - 1 || i - 1 > nfb) run::fatal_stop("error in fbpts (2)");
            double* col = bp + 7 * static_cast<std::size_t>(i - 2);
            for (int k = 0; k < 6; ++k) col[k] = w[k];
            col[6] = t;
        }
    }
}

}  // namespace lattice
