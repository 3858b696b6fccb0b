// Force type "projected": line current, one-dimensional CSR wake (and the
// wake_file's wake), convolution and interpolation to the particles.
#include "forces/force1.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "bunch/forces.hpp"
#include "fieldlib/field.hpp"
#include "fieldlib/sort2.hpp"
#include "forces/csr1d.hpp"
#include "forces/fconv.hpp"
#include "forces/fcdiag.hpp"
#include "forces/force.hpp"
#include "forces/gauss.hpp"
#include "forces/work.hpp"
#include "foundation/capacities.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/math.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"

namespace forces {

using foundation::ConstIndexView;
using foundation::ConstParticleView;
using foundation::ForceView;

namespace {

using foundation::clight;                          // m/s
using foundation::force_scale;                     // (V/m) -> m*c per m of c*t
constexpr double sqrt2pi = 2.5066282746310002;
constexpr double rms_to_sp = 0.7071067811865476;  // s' = sigma_t / sqrt(2)
constexpr int nwake_ahead = 25;                    // wake points ahead of the source: nint(5 s'/h)

// Wake points ahead of the source on a grid of nsam points. In free space
// a source acts on the particles behind it only through its smoothing, the
// 25 points of 5 s'. Between plates the images of a source that is ahead
// of a particle reach it too (their retarded points lie behind it), so the
// wake then covers sources ahead over the whole grid.
int wake_ahead(const bunch::Forces& f, int nsam) {
    const bool images = f.shield > 0.0 && f.shield < f.shield_max;
    return images ? std::max(nwake_ahead, nsam - 1) : nwake_ahead;
}

// Nearest integer of a real, halves away from zero, as a real.
double nint(double v) { return std::round(v); }

// A diagnostic file: one list-directed value per record, the two c*t bounds
// first. The unit is freed on every path; false on any failure.
bool write_values(const std::string& name, double lo, double hi, std::span<const double> vals) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout(name, unit, ierr);
    if (ierr != 0) return false;
    bool ok = foundation::unit_write(unit, foundation::ld_line({foundation::ld_real(lo)})) == 0 &&
              foundation::unit_write(unit, foundation::ld_line({foundation::ld_real(hi)})) == 0;
    for (std::size_t i = 0; ok && i < vals.size(); ++i)
        ok = foundation::unit_write(unit, foundation::ld_line({foundation::ld_real(vals[i])})) == 0;
    std::int32_t ic = 0;
    foundation::ficout(unit, ic);
    return ok && ic == 0;
}

// "fc1.dat": per particle x - x1, y - y1, the force and p, (4(1X,E19.12)).
bool write_particles(ConstParticleView XP, ForceView F) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout("fc1.dat", unit, ierr);
    if (ierr != 0) return false;
    bool ok = true;
    std::string rec;
    for (int j = 1; ok && j <= XP.size(); ++j) {
        rec.clear();
        for (double v : {XP.x(j) - XP.x(1), XP.y(j) - XP.y(1), F.along(j), XP.p(j)}) {
            rec += ' ';
            rec += foundation::fmt_e(v, 19, 12);
        }
        ok = foundation::unit_write(unit, rec) == 0;
    }
    std::int32_t ic = 0;
    foundation::ficout(unit, ic);
    return ok && ic == 0;
}

}  // namespace

void refpnt(const lattice::Latcom& L, ConstParticleView XP, ConstIndexView IP, double& s1, double& tx, double& ty) {
    const double x1 = XP.x(1), y1 = XP.y(1);
    int i = std::clamp<int>(IP.next(1), 1, L.nfb);
    int ia = 0, ib = 0, b = i;
    double d = 0.0;
    while (i >= 1 && i <= L.nfb) {
        d = (L.fb(1, i) - x1) * L.fb(3, i) + (L.fb(2, i) - y1) * L.fb(4, i);
        b = i;
        if (d <= 0.0) {  // behind
            ib = i;
            ++i;
        } else {  // ahead
            ia = i;
            --i;
        }
        if (ia != 0 && ib != 0) break;
    }
    if (ia == 1) {
        tx = L.fb(3, 1);
        ty = L.fb(4, 1);
        s1 = L.fb(7, 1) - d;
    } else if (ib == L.nfb) {
        tx = L.fb(3, L.nfb);
        ty = L.fb(4, L.nfb);
        s1 = L.fb(7, L.nfb) - d;
    } else if (const double r = L.fb(8, ia); r == 0.0) {
        tx = L.fb(3, ib);
        ty = L.fb(4, ib);
        s1 = L.fb(7, b) - d;
    } else {
        const double n = L.fb(4, b) * (L.fb(1, b) - x1) - L.fb(3, b) * (L.fb(2, b) - y1);
        const double phi = std::atan(d / (n + r));
        s1 = L.fb(7, b) - r * phi;
        tx = L.fb(3, b) * std::cos(phi) - L.fb(4, b) * std::sin(phi);
        ty = L.fb(3, b) * std::sin(phi) + L.fb(4, b) * std::cos(phi);
    }
}

namespace {

// Total wake of the evaluation (CSR wake in W.e, the file's wake when
// given) into W.gau over the offsets gw1 .. gw2. Status 0, or 1 after
// logging the failure's line.
int total_wake(const bunch::Forces& f, Force1Work& W, const Fc1Grid& g, int ahead, int& gw1, int& gw2, int& q) {
    const int nsam = g.nsam;
    const double h = g.h, sp = g.sp;
    if (!f.lwake) {
        gw1 = 1 - nsam;
        gw2 = ahead;
        for (int k = gw1; k <= gw2; ++k) W.gau[k - gw1] = (1.0 - f.par4) * W.e[k - gw1];
        return 0;
    }
    // the file's wake, computed for a bunch of rms sigwak, adapted to rms s'
    const double L = (nsam - 1) * h;
    const double sc = f.sigwak < sp ? std::sqrt(sp * sp - f.sigwak * f.sigwak) : 0.0;
    int kn1 = 0, kn2 = 0;
    double S = 1.0, seff = f.sigwak;
    if (sc < f.stpwak || sc <= 0.0) {
        W.kern[0] = 1.0;
    } else {
        const double r = 5.0 * sc / f.stpwak;
        if (!(nint(r) - nint(-r) + 1.0 <= cap::nsamax)) {
            foundation::log_line("error in wake convolution: ng2-ng1+1.gt.nsamax");
            return 1;
        }
        kn1 = int(nint(-r));
        kn2 = int(nint(r));
        S = 0.0;
        for (int k = kn1; k <= kn2; ++k) {
            const double z = k * f.stpwak / sc;
            W.kern[k - kn1] = std::exp(-0.5 * z * z);
            S += W.kern[k - kn1];
        }
        seff = std::sqrt(sc * sc + f.sigwak * f.sigwak);
    }
    // resampling stride and the coarse grid covering [-a, L]
    const double m = std::clamp(std::trunc(0.2 * seff / f.stpwak), 1.0, 1e9);
    // the coarse grid reaches 5 s' ahead of a charge, and 5 sigwak when the
    // file's bunch is the longer one (its wake, used as it stands, reaches
    // that far; the resampling below takes it from there); sigwak, not
    // s_eff, which after the smoothing may lie a unit of the last digit
    // above s'
    const double a = std::min(5.0 * std::max(sp, f.sigwak), L);
    const double qa = std::trunc(0.99999999 + a / f.stpwak);
    const double qb = std::trunc(0.99999999 + L / f.stpwak);
    const double klo = std::floor(-qa / m), khi = std::ceil(qb / m);
    if (!(khi - klo + 1.0 <= cap::nsamax)) {
        foundation::log_line("error in wake convolution: n2wak2-n1wak2+1.gt.nsamax");
        return 1;
    }
    const int c1 = int(klo), c2 = int(khi), mi = int(m);
    foundation::convo1(std::span<const double>(f.wakdat.data(), std::size_t(cap::narcsr)), f.n1wak, f.n2wak,
                       std::span<const double>(W.kern, std::size_t(kn2 - kn1 + 1)), kn1, kn2,
                       std::span<double>(W.e2, std::size_t(c2 - c1 + 1)), c1, c2, mi, 1.0 / S);
    // the combined range is checked before anything is resampled
    const double qd = nint(5.0 * seff / h);
    const double cw1 = std::min(1.0 - nsam, -qd), cw2 = std::max(nsam - 1.0, double(ahead));
    if (!(cw2 - cw1 + 1.0 <= cap::nsamax)) {
        foundation::log_line("error in summation: ng2-ng1+1.gt.nsamax");
        return 1;
    }
    q = int(qd);
    gw1 = int(cw1);
    gw2 = int(cw2);
    // resampled on the force grid into its own array; the two samples
    // around x (floor also left of the origin)
    const double cstep = m * f.stpwak;
    for (int i = -q; i <= nsam - 1; ++i) {
        const double x = i * h / cstep;
        const double j = std::floor(x);
        const double fr = x - j;
        double v = 0.0;
        if (klo <= j && j < khi) {
            const int jj = int(j) - c1;
            v = (1.0 - fr) * W.e2[jj] + fr * W.e2[jj + 1];
        }
        W.file[i + q] = v;
    }
    std::fill(W.gau, W.gau + (gw2 - gw1 + 1), 0.0);
    for (int i = -q; i <= nsam - 1; ++i) W.gau[i - gw1] += (1.0 - f.par5) * W.file[i + q];
    for (int k = 1 - nsam; k <= ahead; ++k) W.gau[k - gw1] += (1.0 - f.par4) * W.e[k - (1 - nsam)];
    return 0;
}

// Logs "test" lines and writes the diagnostic files, in order until one
// cannot be written; that one is named in a warning (the forces stand).
void diagnostics(const ModelInput& in, ForceView F, ModelWork& work, const Fc1Grid& g, double sigt, double ctrms,
                 int gw1, int gw2, int q) {
    const double h = g.h;
    foundation::log_line(foundation::ld_line({"ctmin=", foundation::ld_real(g.ng1 * h)}));
    foundation::log_line(foundation::ld_line({"ctmax=", foundation::ld_real(g.ng2 * h)}));
    foundation::log_line(foundation::ld_line({"ctrms=", foundation::ld_real(ctrms)}));
    foundation::log_line(foundation::ld_line({"ctsig=", foundation::ld_real(sigt), foundation::ld_int(g.nsam)}));
    foundation::log_line(" ");
    const Force1Work& W = work.projected;
    const std::size_t ns = std::size_t(g.nsam);
    const char* failed = nullptr;  // the file that could not be written
    auto values = [&](const char* name, double lo, double hi, std::span<const double> v) {
        if (failed == nullptr && !write_values(name, lo, hi, v)) failed = name;
    };
    values("fc1_curr.dat", g.ng1 * h, g.ng2 * h, std::span<const double>(W.cur, ns));
    values("fc1_csr_w_sub.dat", gw1 * h, gw2 * h, std::span<const double>(W.gau, std::size_t(gw2 - gw1 + 1)));
    if (in.settings.lwake)
        values("fc1_w_sub.dat", -q * h, (g.nsam - 1) * h, std::span<const double>(W.file, std::size_t(q + g.nsam)));
    values("fc1_csr_w_curr.dat", g.ng1 * h, g.ng2 * h, std::span<const double>(W.w, ns));
    if (failed == nullptr && !write_particles(in.XP, F)) failed = "fc1.dat";
    if (failed != nullptr) diawrn(work, failed);
}

}  // namespace

void fc1dep(std::span<const double> q, std::span<const double> ct, const Fc1Grid& g, std::span<double> cur,
            std::span<double> mom) {
    using gauss::nint_fast;
    const double h = g.h, sp = g.sp;
    const int nsam = g.nsam;
    const double hw = 5.0 * sp / h;  // 25 within the last digit
    const double wden = sqrt2pi * sp;
    const double d = h / sp;         // step of z from one grid point to the next
    const int L = int(nint_fast(hw));
    double T[2 * gauss::tmax + 1];
    gauss::fill_table(d, T);
    // Many particles per grid point: with u = K + e (K the nearest grid
    // point), t = e d and x = m d the sample at K + m is
    // T_m exp(x t - t^2/2) = T_m sum_n He_n(x) t^n/n! (Hermite polynomials;
    // for |t| <= 0.1, |x| <= 5.2 the nmom terms are exact to the last
    // digit), so every particle adds w e^n (n < nmom) to the moments of its
    // grid point, and one pass over the grid spreads the moments with the
    // weights T_m He_n(m d) d^n/n!.
    const std::size_t nm = std::size_t(nmom) * std::size_t(nsam);
    const bool by_moments = L <= 26 && d <= 0.2 * (1.0 + 1e-9) && q.size() >= 6 * std::size_t(nsam) &&
                            mom.size() >= 2 * nm;
    if (by_moments) std::fill(mom.begin(), mom.begin() + std::ptrdiff_t(nm), 0.0);
    // first the moments of each grid point K together (at nmom * (K - 1) + n)
    double vals[2 * gauss::tmax + 8];
    for (std::size_t p = 0; p < q.size(); ++p) {
        const double u = (ct[p] - g.ng1 * h) / h + 1.0;
        const double w = q[p] * clight / wden;
        const int k1 = int(std::max(nint_fast(u - hw), 1.0));
        const int k2 = int(std::min(nint_fast(u + hw), double(nsam)));
        const int nt = k2 - k1 + 1;
        if (nt <= 0) continue;
        double* c = cur.data() + (k1 - 1);
        const double K = nint_fast(u), e = u - K;
        const int mlo = k1 - int(K);  // m of the first point
        if (by_moments && mlo == -L && nt == 2 * L + 1) {
            double pw[nmom];  // w e^n by products of depth four
            pw[0] = w;
            pw[1] = w * e;
            const double e2 = e * e;
            pw[2] = pw[0] * e2;
            pw[3] = pw[1] * e2;
            const double e4 = e2 * e2;
            for (int n = 4; n < 8; ++n) pw[n] = pw[n - 4] * e4;
            const double e8 = e4 * e4;
            for (int n = 8; n < nmom; ++n) pw[n] = pw[n - 8] * e8;
            double* mk = mom.data() + std::ptrdiff_t(nmom) * (int(K) - 1);
            for (int n = 0; n < nmom; ++n) mk[n] += pw[n];
        } else if (gauss::samples_ok(e, d, mlo, nt)) {
            gauss::samples(e, d, mlo, nt, T, vals);
            for (int j = 0; j < nt; ++j) c[j] += w * vals[j];
        } else {
            for (int j = 0; j < nt; ++j) {  // one exponential per sample
                const double z = (u - (k1 + j)) * h / sp;
                c[j] += w * std::exp(-0.5 * z * z);
            }
        }
    }
    if (!by_moments) return;
    // then moment n of all grid points together (at nm + n * nsam + K - 1)
    const double* Mk = mom.data();
    double* M = mom.data() + nm;
    for (int k = 0; k < nsam; ++k)
        for (int n = 0; n < nmom; ++n) M[n * nsam + k] = Mk[nmom * k + n];
    // the grid pass: cur(K + m) += T_m He_n(m d) d^n/n! M_n(K) for the
    // points K = 1 + L .. nsam - L that hold moments
    for (int m = -L; m <= L; ++m) {
        const double x = m * d;
        double he0 = 1.0, he1 = x;  // He_n(x), He_n+1(x)
        double dn = 1.0;            // d^n/n!
        double* cm = cur.data() + (L + m);  // grid point 1 + L + m
        for (int n = 0; n < nmom; ++n) {
            const double wmn = T[m + gauss::tmax] * he0 * dn;
            const double* Mn = M + n * nsam + L;  // grid point 1 + L
            for (int k = 0; k < nsam - 2 * L; ++k) cm[k] += wmn * Mn[k];
            const double he2 = x * he1 - (n + 1) * he0;
            he0 = he1;
            he1 = he2;
            dn *= d / (n + 1);
        }
    }
}

bool fc1flt(std::span<double> cts, std::span<double> charges, std::span<double> sx, double par1,
            double par2) {
    if (!(nint(par1) != 0.0 && nint(par2) >= 2.0)) return false;
    const int M = static_cast<int>(cts.size());
    for (int k = 1; k < M; ++k)
        if (charges[k] != charges[0]) return false;
    rsort2(cts, charges);
    sx[0] = 0.0;
    for (int k = 0; k < M; ++k) sx[k + 1] = sx[k] + cts[k];
    const double width[2] = {0.4 * par2, 0.75 * par2};
    const double weight[2] = {0.6666666666666666, 0.3333333333333333};
    // the sums keep every time, so the smoothed times can replace them
    for (int k = 1; k <= M; ++k)
        cts[k - 1] = weight[0] * fc1fl2(sx, M, k, width[0]) + weight[1] * fc1fl2(sx, M, k, width[1]);
    return true;
}

double fc1fl2(std::span<const double> sx, int m, int k, double width) {
    auto g = [](double a) { return a <= 2.0 ? a - 0.25 * a * a : 1.0; };
    auto SX = [&](int i) { return sx[std::size_t(i - 1)]; };
    const double wl = g(0.5 * (k - 1) / width), wr = g(0.5 * (m - k) / width);
    const double half = std::min(wl * width, wr * width);
    if (half <= 1.0) return SX(k + 1) - SX(k);
    const int n = static_cast<int>(half);
    const double f = (n + 1) - half;
    const double mean_n = (SX(k + n + 1) - SX(k - n)) / (2 * n + 1);
    const double mean_n1 = (SX(k + n + 2) - SX(k - n - 1)) / (2 * n + 3);
    return f * mean_n + (1.0 - f) * mean_n1;
}

void rsort2(std::span<double> keys, std::span<double> carried) { fieldlib::keyed_sort(keys, carried); }

namespace {

// Why the bunch cannot be placed on the lattice line: a particle whose
// position is not finite, particle 1 at the centre of a bend's arc (no
// nearest point on the line), or offsets along the motion beyond any c*t.
std::string unplaced_bunch(ConstParticleView XP, double s1, double tx, double ty) {
    for (int j = 1; j <= XP.size(); ++j)
        if (!std::isfinite(XP.x(j)) || !std::isfinite(XP.y(j)))
            return "particle " + std::to_string(j) + " at x= " + foundation::short_real(XP.x(j)) + " y= " +
                   foundation::short_real(XP.y(j)) + " m: a position that is not finite";
    const std::string at = "x= " + foundation::short_real(XP.x(1)) + " y= " + foundation::short_real(XP.y(1)) + " m";
    if (!std::isfinite(s1) || !std::isfinite(tx) || !std::isfinite(ty))
        return "particle 1 at " + at + " has no nearest point on the lattice line (it lies at the centre of a"
               " bend's arc): the projected model needs particle 1 near the line";
    return "the particles lie too far from particle 1 (" + at + ") along the motion for a time offset";
}

// Why the force grid of the projected model does not fit: points the grid
// would need (at most cap) for the bunch's c*t extent ext (m) at speed
// beta, and the shortest sigma_long that fits.
std::string grid_too_fine(double sigma_long, double points, int cap, double ext, double beta) {
    const double least = ext * beta / (0.2 * rms_to_sp * (cap - 2.0 * nwake_ahead - 2.0));
    return "sigma_long = " + foundation::short_real(sigma_long) + " m is too short for the bunch's " +
           foundation::short_real(ext * beta) + " m along the motion: the projected grid of 0.14 sigma_long needs " +
           foundation::short_real(points) + " points, at most " + std::to_string(cap) +
           "; give sigma_long >= " + foundation::short_real(least) + " m";
}

}  // namespace

std::int32_t force1(const ModelInput& in, ForceView F, ModelWork& work) {
    Force1Work& W = work.projected;
    const auto& f = in.settings;
    const auto& L = in.lattice;
    const ConstParticleView XP = in.XP;
    const ConstIndexView IP = in.IP;
    const int n = XP.size();
    // a failed evaluation gives zero forces, never the work values
    auto fail = [&](std::string_view line) -> std::int32_t {
        if (!line.empty()) foundation::log_line(line);
        foundation::log_line("error in force1");
        std::fill(F.words().begin(), F.words().end(), 0.0);
        return 1;
    };
    if (n < 1 || n > cap::maxprt || IP.size() < n || F.size() < n)
        return fail("error in force1: particle, pair and force arrays do not match");
    if (L.nfb < 1) return fail("error in force1: the lattice has no field boundary");
    const double p0 = in.p0;
    if (!(p0 > 0.0) || !std::isfinite(p0)) return fail("error in force1: reference momentum not positive");
    if (!(f.sigma_long > 0.0) || !std::isfinite(f.sigma_long))
        return fail("error in force1: sigma_long not positive");

    // 1. reference point on the lattice line
    double s1 = 0.0, tx = 1.0, ty = 0.0;
    refpnt(L, XP, IP, s1, tx, ty);

    // 2., 3. offsets along the tangent, as times: c*t = -offset/beta; the
    // deposit pairs of the charged active particles in bunch order
    const double gamma = foundation::gamma_of(p0);
    const double beta = foundation::beta_of(p0);
    const double x1 = XP.x(1), y1 = XP.y(1);
    double ctmin = 0.0, ctmax = 0.0;
    bool placed = true;  // every particle's time offset is a number
    int m = 0;
    double qsum = 0.0, qct = 0.0, qct2 = 0.0;
    for (int j = 1; j <= n; ++j) {
        const double off = j == 1 ? 0.0 : (XP.x(j) - x1) * tx + (XP.y(j) - y1) * ty;
        const double ct = -off / beta;
        F.along(j) = ct;
        placed = placed && std::isfinite(ct);
        ctmin = std::min(ctmin, ct);
        ctmax = std::max(ctmax, ct);
        if (flag(in.lact, j) && XP.q(j) != 0.0) {
            W.ct[m] = ct;
            W.q[m] = XP.q(j);
            ++m;
            const double aq = std::fabs(XP.q(j));
            qsum += aq;
            qct += aq * ct;
            qct2 += aq * ct * ct;
        }
    }
    if (!placed || !std::isfinite(s1) || !std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(ctmin) ||
        !std::isfinite(ctmax)) {
        log_wrapped(unplaced_bunch(XP, s1, tx, ty));
        return fail("error in force1: particle positions not finite");
    }

    // 4. noise filter on the deposit pairs
    const std::span<double> dct(W.ct, std::size_t(m)), dq(W.q, std::size_t(m));
    (void)fc1flt(dct, dq, std::span<double>(W.sx, std::size_t(m) + 1), f.par1, f.par2);

    // 5. grid, sizes compared before any conversion to an integer
    Fc1Grid g{};
    const double sigt = f.sigma_long / beta;
    g.sp = rms_to_sp * sigt;
    g.h = 0.2 * g.sp;
    const double g1 = nint((ctmin - 5.0 * g.sp) / g.h), g2 = nint((ctmax + 5.0 * g.sp) / g.h);
    if (!(g2 - g1 + 1.0 <= cap::nsamax)) {
        log_wrapped(grid_too_fine(f.sigma_long, g2 - g1 + 1.0, cap::nsamax, ctmax - ctmin, beta));
        return fail("nsam.gt.nsamax");
    }
    g.ng1 = int(g1);
    g.ng2 = int(g2);
    g.nsam = g.ng2 - g.ng1 + 1;
    const int nsam = g.nsam;
    const double h = g.h;

    // 6. line current
    std::fill(W.cur, W.cur + nsam, 0.0);
    fc1dep(dq, dct, g, std::span<double>(W.cur, std::size_t(nsam)), W.mom);

    // 7. CSR wake at the offsets k*h*beta, k = 1 - nsam .. ahead; the limit
    // is that of the wake 25 points ahead (between plates the wake reaches
    // over the whole grid ahead too, up to 2 nsam - 1 points: every grid
    // that runs in free space runs between plates)
    if (nsam + nwake_ahead > cap::narcsr) {
        log_wrapped(grid_too_fine(f.sigma_long, double(nsam), cap::narcsr - nwake_ahead, ctmax - ctmin, beta));
        return fail("nf2-nf1+1.gt.nsamax");
    }
    const int ahead = wake_ahead(f, nsam);
    const int nw = nsam + ahead;
    WakePars& E = W.epar;
    E = WakePars{};
    E.sigma = g.sp * beta;
    E.gamma = gamma;
    E.s1 = s1;
    E.x_first = (1 - nsam) * h * beta;
    E.x_last = ahead * h * beta;
    E.done = 0.0;
    E.y = f.shield;
    E.y_max = f.shield_max;
    const int rows = std::clamp(L.nfbchg, 0, cap::maxlat);
    const SrTable tab(std::span<const double>(L.srtab.data(), std::size_t(2) * cap::maxlat), rows);
    switch (csr5(tab, L.nfbchg - 1, E, std::span<double>(W.e, std::size_t(nw)), W.csr)) {
        case csr_ok: break;
        case csr_many_images:
            return fail("error in force1: shield_max/shield gives more than " +
                        std::to_string(static_cast<int>(fieldlib::max_images)) + " images");
        default: return fail("error in force1: wake parameters not valid");
    }

    // 8. total wake
    int gw1 = 0, gw2 = 0, q = 0;
    if (total_wake(f, W, g, ahead, gw1, gw2, q) != 0) return fail("");

    // 9. force on the grid
    const double fac = (h / clight) * force_scale;
    cnvbest(std::span<const double>(W.gau, std::size_t(gw2 - gw1 + 1)), gw1,
            std::span<const double>(W.cur, std::size_t(nsam)), g.ng1, std::span<double>(W.w, std::size_t(nsam)),
            g.ng1, fac, W.fft);

    // 10. interpolation to the particles at their own, unfiltered times
    auto wat = [&](long long k) { return k >= 1 && k <= nsam ? W.w[k - 1] : 0.0; };
    for (int j = 1; j <= n; ++j) {
        double fj = 0.0;
        if (flag(in.ldef, j)) {
            const double u = F.along(j) / h + 1.0 - g.ng1;
            const long long k = static_cast<long long>(std::clamp(u, -1.0, nsam + 1.0));
            const double fr = u - double(k);
            fj = wat(k) + (wat(k + 1) - wat(k)) * fr;
        }
        F.along(j) = fj;
        F.left(j) = 0.0;
        F.vert(j) = 0.0;
    }

    // 11. diagnostics
    if (f.ltest) {
        const double mean = qsum > 0.0 ? qct / qsum : 0.0;
        const double ctrms = qsum > 0.0 ? std::sqrt(std::max(qct2 / qsum - mean * mean, 0.0)) : 0.0;
        diagnostics(in, F, work, g, sigt, ctrms, gw1, gw2, q);
    }
    return 0;
}

}  // namespace forces
