// Particle tracking through the element fields of the lattice.
//
// A particle is integrated with c*t (m) as the independent variable, section
// by section. A leg ends at the next boundary in the direction of motion or
// at the target time. In a uniform field the integrated variables 1 and 2 are
// the deviation from the particle's ideal circle, so a force-free leg follows
// the circle exactly whatever the step count.
#include "lattice/track.hpp"

#include <array>
#include <cmath>
#include <complex>
#include <string>

#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/math.hpp"
#include "foundation/platform.hpp"
#include "lattice/geometry.hpp"
#include "lattice/latcom.hpp"

namespace lattice {

namespace {

using foundation::twopi;

// Largest step count of one integration. A leg that would need more (a
// boundary that cannot be reached with a target time that is practically
// infinite) is not integrated at all.
constexpr double max_steps = 1.0e8;

// Everything the right-hand sides of one leg read: the force, the section
// field and the radius of the particle's circle.
struct LegParams {
    LegForce force;
    Section sec;
    double R = 0.0;   // horizontal radius of the particle's circle (uniform field), m
    double sp0 = 0.0; // multipole strength times p0
};

// Force interpolated linearly in c*t between the two sets.
inline void force_at(double ct, const LegForce& f, double& F1, double& F2, double& F3) {
    const double dt = f.t2 - f.t1;
    const double w = dt != 0.0 ? (f.t2 - ct) / dt : 1.0;
    F1 = w * f.f1[0] + (1.0 - w) * f.f2[0];
    F2 = w * f.f1[1] + (1.0 - w) * f.f2[1];
    F3 = w * f.f1[2] + (1.0 - w) * f.f2[2];
}

// d(phi)/d(ct) and d(theta)/d(ct) for the drift and the uniform field.
inline void angle_rates(double p, double gam, double cth, double B, double F2, double F3,
                        double& dphi, double& dth) {
    dphi = F2 / (p * cth) - B / gam;
    dth = F3 / p;
}

// Speed beta of momentum p [m*c] in the tracking's rounding order,
// 1/sqrt(1/p^2 + 1) (foundation::beta_of divides p by gamma instead; the two
// differ in the last bit).
inline double beta_inverse_form(double p) { return 1.0 / std::sqrt(1.0 / (p * p) + 1.0); }

// Right-hand side d/d(c*t) of the six state variables in the lab frame.
void ctrder(double ct, const double* y, double* dydct, const void* ctx) {
    const LegParams& q = *static_cast<const LegParams*>(ctx);
    const double p = y[3], phi = y[4], th = y[5];
    const double gam = foundation::gamma_of(p);
    const double beta = beta_inverse_form(p);
    const double cth = std::cos(th), sth = std::sin(th);
    double F1, F2, F3;
    force_at(ct, q.force, F1, F2, F3);
    dydct[0] = beta * std::cos(phi) * cth;
    dydct[1] = beta * std::sin(phi) * cth;
    dydct[2] = beta * sth;
    dydct[3] = F1;
    const int m = q.sec.m;
    if (m < 2) {
        angle_rates(p, gam, cth, q.sec.B, F2, F3, dydct[4], dydct[5]);
        return;
    }
    // W = strength*p0/(m-1)! (xi + i zeta)^(m-1) exp(-i m alpha)
    const double a = q.sec.a;
    const double ca = std::cos(a), sa = std::sin(a);
    const double xi = (y[1] - q.sec.yc) * ca - (y[0] - q.sec.xc) * sa;
    const double zeta = y[2] - q.sec.v;
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
    const double ma = m * q.sec.alpha;
    // Beyond the largest double the term is far below every other one.
    const std::complex<double> W =
        std::isfinite(fact)
            ? (q.sp0 / fact) * pw * std::complex<double>(std::cos(ma), -std::sin(ma))
            : std::complex<double>(0.0, 0.0);
    dydct[4] = F2 / (p * cth) - (W.real() * cth + W.imag() * std::sin(a - phi) * sth) / (gam * cth);
    dydct[5] = F3 / p + W.imag() * std::cos(a - phi) / gam;
}

// The same in a uniform field, with variables 1 and 2 the deviation from
// the particle's ideal circle.
void ct2der(double ct, const double* y, double* dydct, const void* ctx) {
    const LegParams& q = *static_cast<const LegParams*>(ctx);
    const double p = y[3], th = y[5];
    const double gam = foundation::gamma_of(p);
    const double beta = beta_inverse_form(p);
    const double cth = std::cos(th), sth = std::sin(th);
    double F1, F2, F3;
    force_at(ct, q.force, F1, F2, F3);
    double dphi, dth;
    angle_rates(p, gam, cth, q.sec.B, F2, F3, dphi, dth);
    dydct[0] = beta * cth + (q.R + y[1]) * dphi;
    dydct[1] = -y[0] * dphi;
    dydct[2] = beta * sth;
    dydct[3] = F1;
    dydct[4] = dphi;
    dydct[5] = dth;
}

// Lengths of the fixed Runge-Kutta steps, chosen values (the fourth-order
// rule's error per step goes with the fifth power of the step over the
// scale on which the motion bends): in a uniform field 2% of the radius R of
// the particle's circle (0.02 rad of its turn), in a multipole a step whose
// product with |strength| is 0.02, in a drift 0.04 m of horizontal path
// (there only the self-force bends the motion).
constexpr double uniform_step_per_radius = 0.02;
constexpr double multipole_step_strength = 0.02;
constexpr double drift_step = 0.04;  // m

// Number of Runge-Kutta steps of a leg from ct to tend, computed in floating
// point; 0 when it is out of range (not finite or beyond max_steps).
int step_count(const Section& s, double bh, double R, double ct, double tend) {
    double nd;
    if (s.kind == Field::uniform) {
        nd = std::floor(std::fabs(bh * (tend - ct)) / (uniform_step_per_radius * std::fabs(R))) + 1.0;
    } else if (s.kind == Field::multipole) {
        nd = std::floor(std::fabs(bh * (tend - ct) * s.strength) / multipole_step_strength) + 1.0;
    } else {
        nd = std::floor(std::fabs(bh * (tend - ct)) / drift_step) + 1.0;
    }
    if (!(nd >= 1.0 && nd <= max_steps)) return 0;
    return static_cast<int>(nd);
}

// A leg of more steps than this without force, in a drift or a uniform
// field, is taken in one step (see leg_steps).
constexpr int long_leg_steps = 100000;

bool no_force_acts(const LegForce& f) {
    for (int k = 0; k < 3; ++k)
        if (f.f1[std::size_t(k)] != 0.0 || f.f2[std::size_t(k)] != 0.0) return false;
    return true;
}

// Steps of a leg (step_count). Without force a drift (the straight line)
// and a uniform field (the ideal circle, integrated as the deviation from
// it) are exact in any number of steps: a leg of more than long_leg_steps
// (4 km of drift: a boundary met at a grazing angle) is taken in one step
// instead of integrating for seconds, and so is a leg beyond max_steps up
// to max_leg_length (a long time step, the way back to the lattice from
// far behind it), which would otherwise not be integrated at all. Longer
// legs (a boundary parallel to the motion up to rounding, a practically
// infinite target time) stay out of range.
constexpr double max_leg_length = 1.0e12;  // c*t in metres

int leg_steps(const LegParams& q, double bh, double R, double ct, double tend) {
    const int n = step_count(q.sec, bh, R, ct, tend);
    const bool exact = q.sec.kind != Field::multipole && no_force_acts(q.force);
    if (exact && n > long_leg_steps) return 1;
    if (exact && n == 0 && std::fabs(tend - ct) <= max_leg_length) return 1;
    return n;
}

// Integrates the state y from ct to tend in nstep steps. In a uniform field
// the circle frame is used and the lab position rebuilt at the end.
void integrate(State y, const LegParams& q, double ct, double tend, int nstep) {
    if (ct + (tend - ct) / nstep == ct) return;
    if (q.sec.kind == Field::uniform) {
        const double x0 = y[0], y0 = y[1], phi0 = y[4];
        const double R = q.R;
        double w[6] = {0.0, 0.0, y[2], y[3], y[4], y[5]};
        foundation::rkdumb(w, ct, tend, nstep, ct2der, &q);
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
        foundation::rkdumb(y, ct, tend, nstep, ctrder, &q);
    }
}

// Horizontal radius of the particle's circle in a uniform field B.
inline double circle_radius(State y, double B) {
    const double p = y[3];
    const double gam = foundation::gamma_of(p);
    return gam * beta_inverse_form(p) * std::cos(y[5]) / B;
}

// Vertical kick of a uniform field's edge: the boundary angle psi against
// the direction of motion; sign +1 on leaving through the boundary ahead,
// -1 on entering through the boundary behind.
inline void edge_kick(State part, double B, double psi, double sign) {
    const double k = B * part[2] * std::tan(part[4] - psi) / part[3];
    part[5] = sign > 0.0 ? part[5] + k : part[5] - k;
}

// The boundary line ahead in the direction of travel, n.(X - P) = 0.
struct Ahead {
    bool has = false;
    double Px = 0.0, Py = 0.0, nx = 0.0, ny = 0.0;
};

// The aim of a leg: the time it integrates to, tend (the estimated crossing
// when aimed, else the target), and where the particle starts.
struct Aim {
    double tend = 0.0;
    bool start_past = false;  // already on the far side of the line
    bool aimed = false;       // tend is the estimated crossing time
    bool cross_now = false;   // on the far side and moving across: crossing without a move
};

// Aims a leg of a particle with horizontal speed bh from ct towards ctend.
Aim aim(State part, const Ahead& b, const LegParams& q, bool fwd, double bh, double ct, double ctend) {
    Aim a;
    a.tend = ctend;
    if (!b.has) return a;
    const double sgn = fwd ? 1.0 : -1.0;
    const bool uniform = q.sec.kind == Field::uniform;
    // The boundary is crossed in the direction of its normal: forward in
    // time from before the line to behind it, backward in time the other way.
    // "Past" means already on the far side in the direction of travel.
    const double d = b.nx * (b.Px - part[0]) + b.ny * (b.Py - part[1]);
    const double tx = std::cos(part[4]), ty = std::sin(part[4]);
    const double vt = b.nx * tx + b.ny * ty;
    a.start_past = sgn * d <= 0.0;
    if (a.start_past && vt > 0.0) {
        // Already on the far side and moving across the line: the crossing
        // happens now, without moving (never back in time).
        a.cross_now = true;
        return a;
    }
    // Path length to the boundary line along the straight line or the circle.
    double Lp = 0.0;
    if (uniform) {
        const CircleMeeting m = circle_meets_line(tx, ty, b.nx, b.ny, d, q.R);
        if (m.meets) {
            const double R = q.R;
            double L1 = -R * m.phi1, L2 = -R * m.phi2;
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
            if (a.start_past) Lp = L1;
            a.aimed = true;
        }
    } else if (!a.start_past && vt > 0.0) {
        Lp = d / vt;
        a.aimed = true;
    }
    if (a.aimed && bh > 0.0) {
        const double te = ct + Lp / bh;
        if (std::isfinite(te)) {
            a.tend = fwd ? std::fmin(te, ctend) : std::fmax(te, ctend);
        } else {
            a.aimed = false;
        }
    } else {
        a.aimed = false;
    }
    return a;
}

// After integrating to a.tend: the linear correction onto the boundary line
// with the end derivatives, or, when the particle does not head for the
// line after all, the rest of the way to ctend in the same field.
void correct(State part, std::int32_t& ifb, bool& lcross, double& ct, double ct0, double ctend,
             const Aim& a, const Ahead& b, LegParams& q, bool fwd) {
    const double sgn = fwd ? 1.0 : -1.0;
    const bool uniform = q.sec.kind == Field::uniform;
    const double tend = a.tend;
    double dend[6];
    ctrder(tend, part.data(), dend, &q);
    const double d = b.nx * (b.Px - part[0]) + b.ny * (b.Py - part[1]);
    const double vn = b.nx * dend[0] + b.ny * dend[1];
    const bool past = sgn * d <= 0.0;
    // A particle that started on the far side has crossed only when the leg
    // was aimed at its crossing and it now moves along the normal.
    const bool crossed_already = past && (!a.start_past || (a.aimed && vn > 0.0));
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
        const double R2 = uniform ? circle_radius(part, q.sec.B) : 0.0;
        const double bh2 = beta_inverse_form(part[3]) * std::cos(part[5]);
        const int n2 = leg_steps(q, bh2, R2, tend, ctend);
        if (n2 == 0) {
            ct = tend;
            return;
        }
        q.R = R2;
        integrate(part, q, tend, ctend, n2);
        ct = ctend;
        return;
    }
    for (int k = 0; k < 6; ++k) part[k] = part[k] + dend[k] * delta;
    if (crossed) {
        ct = tend + delta;
        if (uniform) edge_kick(part, q.sec.B, std::atan2(b.ny, b.nx), 1.0);
        ifb = fwd ? ifb + 1 : ifb - 1;
        lcross = true;
    } else {
        ct = ctend;
        lcross = false;
    }
}

}  // namespace

void cstrck(const Latcom& L, State part, std::int32_t& ifb, bool& lcross, double& ct, double ctend,
            const LegForce& force, double p0) {
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
    const bool fwd = ctend > ct;
    const int ia = fwd ? ifb : ifb - 1;  // the boundary ahead in the direction of travel

    LegParams q;
    q.force = force;
    q.sec = section_field(L, ifb, fwd, p0);
    q.sp0 = q.sec.strength * p0;
    const bool uniform = q.sec.kind == Field::uniform;

    // Entry edge of a uniform field: vertical kick from the boundary angle.
    if (lcross && uniform) {
        const int e = fwd ? ifb - 1 : ifb;
        if (e >= 1 && e <= L.nfb) edge_kick(part, q.sec.B, std::atan2(L.ny(e), L.nx(e)), -1.0);
    }

    const double bh = beta_inverse_form(part[3]) * std::cos(part[5]);
    q.R = uniform ? circle_radius(part, q.sec.B) : 0.0;

    Ahead b;
    if (ia >= 1 && ia <= L.nfb) b = {true, L.x(ia), L.y(ia), L.nx(ia), L.ny(ia)};

    const Aim a = aim(part, b, q, fwd, bh, ct, ctend);
    if (a.cross_now) {
        if (uniform) edge_kick(part, q.sec.B, std::atan2(b.ny, b.nx), 1.0);
        ifb = fwd ? ifb + 1 : ifb - 1;
        lcross = true;
        return;
    }

    const double ct0 = ct;
    const int nstep = leg_steps(q, bh, q.R, ct, a.tend);
    if (nstep == 0) {
        // Not integrable (a boundary out of reach with a practically infinite
        // target): the particle stays, the caller sees no crossing.
        lcross = false;
        return;
    }
    integrate(part, q, ct, a.tend, nstep);

    if (!b.has) {
        ct = a.tend;
        lcross = false;
        return;
    }
    correct(part, ifb, lcross, ct, ct0, ctend, a, b, q, fwd);
}

void thin_kick(State part, const std::array<double, 16>& tm, const std::array<double, 4>& fbv) {
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
        for (int l = 0; l < 4; ++l) w[k] += tm[std::size_t(k + 4 * l)] * v[l];
    }
    const double u = w[0], up = w[1], zp = w[3];
    const double N = std::sqrt(up * up + 1.0 + zp * zp);
    part[0] = xb - ty * u;
    part[1] = yb + tx * u;
    part[2] = w[2];
    part[4] = std::atan2((ty + tx * up) / N, (tx - ty * up) / N);
    part[5] = std::asin(zp / N);
}

void trck3d(const Latcom& L, ParticleView part, IndexView ifb, double ct, double ctend, double t1, double t2,
            ConstForceView f1, ConstForceView f2, bool lforce, double p0) {
    std::array<double, 16> tm;
    std::array<double, 4> fbv;
    LegForce force = no_force;
    if (lforce) {
        force.t1 = t1;
        force.t2 = t2;
    }
    for (std::int32_t i = 1; i <= part.size(); ++i) {
        const State pi = part.state(i);
        std::int32_t& fi = ifb.next(i);
        if (lforce) {
            for (int k = 0; k < 3; ++k) {
                force.f1[std::size_t(k)] = f1.word(k + 1, i);
                force.f2[std::size_t(k)] = f2.word(k + 1, i);
            }
        }
        double t = ct;
        if (!(t < ctend)) continue;
        bool lcross = false;
        do {
            const double tb = t;
            cstrck(L, pi, fi, lcross, t, ctend, force, p0);
            if (lcross) {
                if (latget(L, fi - 1, tm, fbv)) thin_kick(pi, tm, fbv);
            } else if (!(t > tb)) {
                break;  // no progress is possible for this particle
            }
        } while (t < ctend);
    }
}

namespace {

// The line before a fatal stop of fbpts: particle, start of its leg (x, y)
// and the boundary it does not reach.
void unreachable(std::int32_t particle, const std::array<double, 6>& from, int boundary, const char* way) {
    const std::string who = particle > 0 ? "particle " + std::to_string(particle) : "the design path's particle";
    foundation::stdout_line(" " + who + ", tracked " + way + " from x=" + foundation::short_real(from[0]) +
                            " y=" + foundation::short_real(from[1]) + " m, never crosses boundary " +
                            std::to_string(boundary));
}

}  // namespace

void fbpts(const Latcom& L, std::span<const double, 6> part, std::int32_t ifb, double ct, CrossingView bp,
           double p0, std::int32_t particle) {
    const int nfb = L.nfb;
    std::array<double, 6> w;
    if (ifb <= nfb) {
        std::copy(part.begin(), part.end(), w.begin());
        std::int32_t j = ifb;
        bool lcross = false;
        double t = ct;
        const double target = ct + foundation::far_time;
        for (int i = ifb; i <= nfb; ++i) {
            const std::int32_t jb = j;
            const std::array<double, 6> from = w;
            cstrck(L, w, j, lcross, t, target, no_force, p0);
            if (j != jb + 1 || i < 1) {
                unreachable(particle, from, i, "forward");
                foundation::fatal_stop("error in fbpts (1)");
            }
            std::copy(w.begin(), w.end(), bp.state(i).begin());
            bp.ct(i) = t;
        }
    }
    if (ifb > 1) {
        std::copy(part.begin(), part.end(), w.begin());
        std::int32_t j = ifb;
        bool lcross = false;
        double t = ct;
        const double target = ct - foundation::far_time;
        const int i0 = ifb < nfb + 1 ? ifb : nfb + 1;
        for (int i = i0; i >= 2; --i) {
            const std::int32_t jb = j;
            const std::array<double, 6> from = w;
            cstrck(L, w, j, lcross, t, target, no_force, p0);
            if (j != jb - 1 || i - 1 > nfb) {
                unreachable(particle, from, i - 1, "backward");
                foundation::fatal_stop("error in fbpts (2)");
            }
            std::copy(w.begin(), w.end(), bp.state(i - 1).begin());
            bp.ct(i - 1) = t;
        }
    }
}

}  // namespace lattice
