// Force type "projected": line current, one-dimensional CSR wake (and the
// wake_file's wake), convolution and interpolation to the particles.
#include "forces/force1.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "bunch/forces.hpp"
#include "fieldlib/fldtypes.hpp"
#include "forces/csr1d.hpp"
#include "forces/fconv.hpp"
#include "forces/fcdiag.hpp"
#include "forces/gauss.hpp"
#include "forces/work.hpp"
#include "foundation/capacities.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/keyed_sort.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/math.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"

namespace forces {

using foundation::ConstIndexView;
using foundation::ConstParticleView;
using foundation::ForceView;
using foundation::log_wrapped;

namespace {

using foundation::clight;                          // m/s
using foundation::force_scale;                     // (V/m) -> m*c per m of c*t
using foundation::sqrt2pi;
constexpr double rms_to_sp = 0.7071067811865476;  // s' = sigma_t / sqrt(2)
constexpr int nwake_ahead = 25;                    // wake points ahead of the source: nint(5 s'/h)

// Wake points ahead of the source on a grid of nsam points. In free space
// a source acts on the particles behind it only through its smoothing, the
// 25 points of 5 s'. Between plates the images of a source that is ahead
// of a particle reach it too (their retarded points lie behind it), so the
// wake then covers sources ahead over the whole grid.
int wake_ahead(const bunch::ForceSettings& f, int nsam) {
    const bool images = f.shield > 0.0 && f.shield < f.shield_max;
    return images ? std::max(nwake_ahead, nsam - 1) : nwake_ahead;
}

// Nearest integer of a real, halves away from zero, as a real.
double nint(double v) { return std::round(v); }

// A diagnostic file: one list-directed value per record, the two c*t bounds
// first. The unit is freed on every path; false on any failure.
bool write_values(const std::string& name, double lo, double hi, std::span<const double> vals) {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout(name, unit, ierr, foundation::output_kind::diagnostic);
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
    foundation::fioout("fc1.dat", unit, ierr, foundation::output_kind::diagnostic);
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
        d = (L.x(i) - x1) * L.tx(i) + (L.y(i) - y1) * L.ty(i);
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
        tx = L.tx(1);
        ty = L.ty(1);
        s1 = L.s(1) - d;
    } else if (ib == L.nfb) {
        tx = L.tx(L.nfb);
        ty = L.ty(L.nfb);
        s1 = L.s(L.nfb) - d;
    } else if (const double r = L.r(ia); r == 0.0) {
        tx = L.tx(ib);
        ty = L.ty(ib);
        s1 = L.s(b) - d;
    } else {
        const double n = L.ty(b) * (L.x(b) - x1) - L.tx(b) * (L.y(b) - y1);
        const double phi = std::atan(d / (n + r));
        s1 = L.s(b) - r * phi;
        tx = L.tx(b) * std::cos(phi) - L.ty(b) * std::sin(phi);
        ty = L.tx(b) * std::sin(phi) + L.ty(b) * std::cos(phi);
    }
}

namespace {

// The smoothing kernel that adapts the wake_file's wake, computed for a
// Gaussian bunch of rms sigwak, to the rms s' of the model: Gaussians add in
// quadrature, so the file's wake is convolved with a Gaussian of rms
// sc = sqrt(s'^2 - sigwak^2), sampled at the file's step stpwak [m]:
// kern(k) = exp(-(k stpwak/sc)^2/2), k = kn1 .. kn2 (+-5 sc), of sum S; the
// smoothed wake has the rms seff = sqrt(sc^2 + sigwak^2). No smoothing (the
// kernel 1 at 0, seff = sigwak) when sc is below a step or the file's bunch
// is the longer one.
struct FileKernel {
    int kn1, kn2;
    double S, seff;
};

// The kernel into W.kern; status 1 after the line of a kernel beyond the arrays.
int file_kernel(const bunch::ForceSettings& f, double sp, Force1Work& W, FileKernel& kn) {
    const double sc = f.sigwak < sp ? std::sqrt(sp * sp - f.sigwak * f.sigwak) : 0.0;
    kn = {0, 0, 1.0, f.sigwak};
    if (sc < f.stpwak || sc <= 0.0) {
        W.kern[0] = 1.0;
        return 0;
    }
    const double r = 5.0 * sc / f.stpwak;
    if (!(nint(r) - nint(-r) + 1.0 <= cap::nsamax)) {
        foundation::log_line("error in wake convolution: ng2-ng1+1.gt.nsamax");
        return 1;
    }
    kn.kn1 = int(nint(-r));
    kn.kn2 = int(nint(r));
    kn.S = 0.0;
    for (int k = kn.kn1; k <= kn.kn2; ++k) {
        const double z = k * f.stpwak / sc;
        W.kern[k - kn.kn1] = std::exp(-0.5 * z * z);
        kn.S += W.kern[k - kn.kn1];
    }
    kn.seff = std::sqrt(sc * sc + f.sigwak * f.sigwak);
    return 0;
}

// trunc(ceiling_allowance + x) is the ceiling of x > 0, but a fraction of
// 1e-8 or less (the rounding of a whole ratio) rounds down: the grid ends
// where the ratio is whole, not one file step further.
constexpr double ceiling_allowance = 0.99999999;

// The file's wake smoothed on its coarse grid: stride m = int(0.2 seff /
// stpwak) (at least 1) of the file's samples, points klo .. khi covering
// [-a, L], a the reach ahead of a charge, L the grid's length.
struct CoarseWake {
    double m, klo, khi;
};

// E2(i) = (1/S) sum_k wakdat(k) kern(i m - k) into W.e2 (convo1); status 1
// after the line of a coarse grid beyond the arrays.
int coarse_file_wake(const bunch::ForceSettings& f, const Fc1Grid& g, Force1Work& W, const FileKernel& kn, CoarseWake& c) {
    const double L = (g.nsam - 1) * g.h;
    c.m = std::clamp(std::trunc(0.2 * kn.seff / f.stpwak), 1.0, 1e9);
    // the coarse grid reaches 5 s' ahead of a charge, and 5 sigwak when the
    // file's bunch is the longer one (its wake, used as it stands, reaches
    // that far; the resampling below takes it from there); sigwak, not
    // s_eff, which after the smoothing may lie a unit of the last digit
    // above s'
    const double a = std::min(5.0 * std::max(g.sp, f.sigwak), L);
    const double qa = std::trunc(ceiling_allowance + a / f.stpwak);
    const double qb = std::trunc(ceiling_allowance + L / f.stpwak);
    c.klo = std::floor(-qa / c.m);
    c.khi = std::ceil(qb / c.m);
    if (!(c.khi - c.klo + 1.0 <= cap::nsamax)) {
        foundation::log_line("error in wake convolution: n2wak2-n1wak2+1.gt.nsamax");
        return 1;
    }
    const int c1 = int(c.klo), c2 = int(c.khi), mi = int(c.m);
    foundation::convo1(std::span<const double>(f.wakdat.data(), std::size_t(cap::narcsr)), f.n1wak, f.n2wak,
                       std::span<const double>(W.kern, std::size_t(kn.kn2 - kn.kn1 + 1)), kn.kn1, kn.kn2,
                       std::span<double>(W.e2, std::size_t(c2 - c1 + 1)), c1, c2, mi, 1.0 / kn.S);
    return 0;
}

// The smoothed file wake resampled on the force grid, file(i) at i h for
// i = -q .. nsam - 1, into W.file: linear between the two coarse samples
// around x = i h/(m stpwak) (floor also left of the origin), 0 outside.
void resample_file_wake(const bunch::ForceSettings& f, const Fc1Grid& g, Force1Work& W, const CoarseWake& c, int q) {
    const double cstep = c.m * f.stpwak;
    const int c1 = int(c.klo);
    for (int i = -q; i <= g.nsam - 1; ++i) {
        const double x = i * g.h / cstep;
        const double j = std::floor(x);
        const double fr = x - j;
        double v = 0.0;
        if (c.klo <= j && j < c.khi) {
            const int jj = int(j) - c1;
            v = (1.0 - fr) * W.e2[jj] + fr * W.e2[jj + 1];
        }
        W.file[i + q] = v;
    }
}

// Total wake of the evaluation into W.gau over the offsets gw1 .. gw2 [V/m
// per C]: (1 - par4) times the CSR wake in W.e (offsets 1 - nsam .. ahead),
// plus (1 - par5) times the file's wake resampled (offsets -q .. nsam - 1)
// when a wake_file was read; sl the evaluation's sigma_long [m]. Status 0,
// or 1 after logging the failure's line.
int total_wake(const bunch::ForceSettings& f, double sl, Force1Work& W, const Fc1Grid& g, int ahead, int& gw1, int& gw2,
               int& q) {
    const int nsam = g.nsam;
    if (!f.lwake) {
        gw1 = 1 - nsam;
        gw2 = ahead;
        for (int k = gw1; k <= gw2; ++k) W.gau[k - gw1] = (1.0 - f.par4) * W.e[k - gw1];
        return 0;
    }
    FileKernel kn{};
    CoarseWake c{};
    if (file_kernel(f, g.sp, W, kn) != 0 || coarse_file_wake(f, g, W, kn, c) != 0) return 1;
    // the combined range is checked before anything is resampled
    const double qd = nint(5.0 * kn.seff / g.h);
    const double cw1 = std::min(1.0 - nsam, -qd), cw2 = std::max(nsam - 1.0, double(ahead));
    if (!(cw2 - cw1 + 1.0 <= cap::nsamax)) {
        // the span goes as 1/sigma_long beyond a few hundred points (the
        // +-5 s' margins and the wake ahead): the sigma_long that fits, with
        // room for those
        const double width = cw2 - cw1 + 1.0;
        const double least = sl * width / (cap::nsamax - 200.0);
        log_wrapped("sigma_long = " + foundation::short_real(sl) +
                    " m is too short for the projected model with a wake_file: the CSR wake and the file's wake"
                    " together span " + foundation::short_real(width) + " points of its grid of 0.14 sigma_long, at"
                    " most " + std::to_string(cap::nsamax) + "; give sigma_long >= " + foundation::short_real(least) +
                    " m");
        foundation::log_line("error in summation: ng2-ng1+1.gt.nsamax");
        return 1;
    }
    q = int(qd);
    gw1 = int(cw1);
    gw2 = int(cw2);
    resample_file_wake(f, g, W, c, q);
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

// Adds w e^n, n < nmom, to the moments mk of a grid point (the powers by
// products of depth four).
inline void add_moments(double* mk, double w, double e) {
    double pw[nmom];
    pw[0] = w;
    pw[1] = w * e;
    const double e2 = e * e;
    pw[2] = pw[0] * e2;
    pw[3] = pw[1] * e2;
    const double e4 = e2 * e2;
    for (int n = 4; n < 8; ++n) pw[n] = pw[n - 4] * e4;
    const double e8 = e4 * e4;
    for (int n = 8; n < nmom; ++n) pw[n] = pw[n - 8] * e8;
    for (int n = 0; n < nmom; ++n) mk[n] += pw[n];
}

// The grid pass of the deposit by moments: the moments of each grid point
// K (at nmom (K - 1) + n in mom) regrouped by n (at nm + n nsam + K - 1),
// then cur(K + m) += T_m He_n(m d) d^n/n! M_n(K) for the points
// K = 1 + L .. nsam - L that hold moments.
void spread_moments(std::span<double> mom, int nsam, int L, double d, const double* T, std::span<double> cur) {
    const std::size_t nm = std::size_t(nmom) * std::size_t(nsam);
    const double* Mk = mom.data();
    double* M = mom.data() + nm;
    for (int k = 0; k < nsam; ++k)
        for (int n = 0; n < nmom; ++n) M[n * nsam + k] = Mk[nmom * k + n];
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

}  // namespace

// The line current of the deposit pairs (q_j [C], ct_j [m]) at the grid
// points ct_k = (ng1 + k - 1) h:
//   I_k = sum_j q_j c/(sqrt(2 pi) s') exp(-(ct_k - ct_j)^2/(2 s'^2))  [A],
// each Gaussian cut at +-5 s' (25 points).
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
            add_moments(mom.data() + std::ptrdiff_t(nmom) * (int(K) - 1), w, e);
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
    // then the moments spread over the grid
    if (by_moments) spread_moments(mom, nsam, L, d, T, cur);
}

namespace {

// The noise filter's two moving means: chosen half-widths, in particles, of
// 0.4 and 0.75 par2, the narrower weighing twice as much; together a
// smoother taper than one window.
constexpr double filter_widths[2] = {0.4, 0.75};
constexpr double filter_weights[2] = {2.0 / 3.0, 1.0 / 3.0};
static_assert(filter_weights[0] == 0.6666666666666666 && filter_weights[1] == 0.3333333333333333);

}  // namespace

bool fc1flt(std::span<double> cts, std::span<double> charges, std::span<double> sx, double par1,
            double par2) {
    if (!(nint(par1) != 0.0 && nint(par2) >= 2.0)) return false;
    const int M = static_cast<int>(cts.size());
    for (int k = 1; k < M; ++k)
        if (charges[k] != charges[0]) return false;
    rsort2(cts, charges);
    sx[0] = 0.0;
    for (int k = 0; k < M; ++k) sx[k + 1] = sx[k] + cts[k];
    const double width[2] = {filter_widths[0] * par2, filter_widths[1] * par2};
    // the sums keep every time, so the smoothed times can replace them
    for (int k = 1; k <= M; ++k)
        cts[k - 1] = filter_weights[0] * fc1fl2(sx, M, k, width[0]) + filter_weights[1] * fc1fl2(sx, M, k, width[1]);
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

void rsort2(std::span<double> keys, std::span<double> carried) { foundation::keyed_sort(keys, carried); }

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

// Why the model cannot take its inputs at all, or nullptr.
const char* unusable(const ModelInput& in, ForceView F) {
    const int n = in.XP.size();
    if (n < 1 || n > cap::maxprt || in.IP.size() < n || F.size() < n)
        return "error in force1: particle, pair and force arrays do not match";
    if (in.lattice.nfb < 1) return "error in force1: the lattice has no field boundary";
    if (!(in.p0 > 0.0) || !std::isfinite(in.p0)) return "error in force1: reference momentum not positive";
    if (!(in.sizes.sigma_long > 0.0) || !std::isfinite(in.sizes.sigma_long))
        return "error in force1: sigma_long not positive";
    return nullptr;
}

// The bunch projected on the line's tangent (tx, ty) at particle 1: the
// extent of the particles' c*t offsets and the deposit pairs.
struct Projection {
    double ctmin, ctmax;     // c*t offsets [m], particle 1 (at 0) included
    bool placed;             // every particle's offset is a number
    int m;                   // deposit pairs in W.ct, W.q
    double qsum, qct, qct2;  // sums of |q|, |q| c*t, |q| c*t^2 (the "ctrms=" line)
};

// Steps 2 and 3: each particle's offset d_j along the tangent as a time,
// c*t_j = -d_j/beta [m] (ahead of particle 1 is earlier), into F.along(j);
// the (charge, c*t) pairs of the charged active particles in bunch order
// into W.q, W.ct.
Projection project(const ModelInput& in, double tx, double ty, double beta, ForceView F, Force1Work& W) {
    const ConstParticleView XP = in.XP;
    const double x1 = XP.x(1), y1 = XP.y(1);
    Projection p{0.0, 0.0, true, 0, 0.0, 0.0, 0.0};
    for (int j = 1; j <= XP.size(); ++j) {
        const double off = j == 1 ? 0.0 : (XP.x(j) - x1) * tx + (XP.y(j) - y1) * ty;
        const double ct = -off / beta;
        F.along(j) = ct;
        p.placed = p.placed && std::isfinite(ct);
        p.ctmin = std::min(p.ctmin, ct);
        p.ctmax = std::max(p.ctmax, ct);
        if (flag(in.lact, j) && XP.q(j) != 0.0) {
            W.ct[p.m] = ct;
            W.q[p.m] = XP.q(j);
            ++p.m;
            const double aq = std::fabs(XP.q(j));
            p.qsum += aq;
            p.qct += aq * ct;
            p.qct2 += aq * ct * ct;
        }
    }
    return p;
}

// Step 5: the force grid around the bunch, 5 s' beyond its extreme
// particles, of step h = 0.2 s' with s' = sigma_t/sqrt(2) and sigma_t =
// sigma_long/beta [m of c*t] (sl: the evaluation's sigma_long [m]); the
// sizes compared before any conversion to an integer. The line of a
// failure, after the one saying why, or nullptr.
const char* force_grid(double sl, const Projection& p, double beta, Fc1Grid& g) {
    const double sigt = sl / beta;
    g.sp = rms_to_sp * sigt;
    g.h = 0.2 * g.sp;
    const double g1 = nint((p.ctmin - 5.0 * g.sp) / g.h), g2 = nint((p.ctmax + 5.0 * g.sp) / g.h);
    if (!(g2 - g1 + 1.0 <= cap::nsamax)) {
        log_wrapped(grid_too_fine(sl, g2 - g1 + 1.0, cap::nsamax, p.ctmax - p.ctmin, beta));
        return "nsam.gt.nsamax";
    }
    g.ng1 = int(g1);
    g.ng2 = int(g2);
    g.nsam = g.ng2 - g.ng1 + 1;
    return nullptr;
}

// Step 7: the CSR wake of a Gaussian line charge of rms s' beta (path
// length) at the reference point s1 of the line, at the offsets k h beta,
// k = 1 - nsam .. ahead, into W.e (csr1d); the limit is that of the wake 25
// points ahead (between plates the wake reaches over the whole grid ahead
// too, up to 2 nsam - 1 points: every grid that runs in free space runs
// between plates). The line of a failure, or "".
std::string csr_wake(const ModelInput& in, const Fc1Grid& g, const Projection& p, double gamma, double beta,
                     double s1, int& ahead, Force1Work& W) {
    const auto& f = in.settings;
    const auto& L = in.lattice;
    const int nsam = g.nsam;
    const double h = g.h;
    if (nsam + nwake_ahead > cap::narcsr) {
        log_wrapped(grid_too_fine(in.sizes.sigma_long, double(nsam), cap::narcsr - nwake_ahead, p.ctmax - p.ctmin, beta));
        return "nf2-nf1+1.gt.nsamax";
    }
    ahead = wake_ahead(f, nsam);
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
    const SrTable tab(L.srtab.span(), rows);
    switch (csr5(tab, L.nfbchg - 1, E, std::span<double>(W.e, std::size_t(nw)), W.csr)) {
        case csr_ok: return "";
        case csr_many_images:
            return "error in force1: shield_max/shield gives more than " +
                   std::to_string(static_cast<int>(fieldlib::max_images)) + " images";
        default: return "error in force1: wake parameters not valid";
    }
}

// Step 10: the force on the grid, W.w, interpolated linearly to each
// receiving particle at its own, unfiltered c*t (in F.along); 0 beyond the
// grid and for a particle that receives no force. The force is purely
// longitudinal.
void to_particles(const ModelInput& in, const Fc1Grid& g, const Force1Work& W, ForceView F) {
    const int nsam = g.nsam;
    const double h = g.h;
    auto wat = [&](long long k) { return k >= 1 && k <= nsam ? W.w[k - 1] : 0.0; };
    for (int j = 1; j <= in.XP.size(); ++j) {
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
}

}  // namespace

// The projected model: the bunch as a line current on a grid in c*t,
//   I(ct) = sum_j q_j c/(sqrt(2 pi) s') exp(-(ct - ct_j)^2/(2 s'^2))  [A],
// each particle a Gaussian of rms s' = sigma_long/(beta sqrt 2) [m of c*t]
// at its offset along the line; the longitudinal wake w [V/m per C] of a
// Gaussian line charge of rms s' on the lattice's line of straights and
// arcs (csr1d: the steady-state and transient CSR wake, with plate images)
// plus the wake_file's; the force at grid point i
//   F_i = force_scale (h/c) sum_k w(k) I(i - k)  [m*c per m of c*t],
// the two Gaussians of rms s' together the bunch's sigma_t; F_i
// interpolated linearly to every particle. Steps 1 to 11.
std::int32_t force1(const ModelInput& in, ForceView F, ModelWork& work) {
    Force1Work& W = work.projected;
    const auto& f = in.settings;
    const ConstParticleView XP = in.XP;
    // a failed evaluation gives zero forces, never the work values
    auto fail = [&](std::string_view line) -> std::int32_t {
        if (!line.empty()) foundation::log_line(line);
        foundation::log_line("error in force1");
        std::fill(F.words().begin(), F.words().end(), 0.0);
        return 1;
    };
    if (const char* why = unusable(in, F)) return fail(why);

    // 1. reference point on the lattice line
    double s1 = 0.0, tx = 1.0, ty = 0.0;
    refpnt(in.lattice, XP, in.IP, s1, tx, ty);

    // 2., 3. offsets along the tangent as times, the deposit pairs
    const double gamma = foundation::gamma_of(in.p0);
    const double beta = foundation::beta_of(in.p0);
    const Projection p = project(in, tx, ty, beta, F, W);
    if (!p.placed || !std::isfinite(s1) || !std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(p.ctmin) ||
        !std::isfinite(p.ctmax)) {
        log_wrapped(unplaced_bunch(XP, s1, tx, ty));
        return fail("error in force1: particle positions not finite");
    }

    // 4. noise filter on the deposit pairs
    const std::span<double> dct(W.ct, std::size_t(p.m)), dq(W.q, std::size_t(p.m));
    (void)fc1flt(dct, dq, std::span<double>(W.sx, std::size_t(p.m) + 1), f.par1, f.par2);

    // 5. grid
    Fc1Grid g{};
    if (const char* why = force_grid(in.sizes.sigma_long, p, beta, g)) return fail(why);
    const std::size_t ns = std::size_t(g.nsam);

    // 6. line current
    std::fill(W.cur, W.cur + ns, 0.0);
    fc1dep(dq, dct, g, std::span<double>(W.cur, ns), W.mom);

    // 7. CSR wake, 8. total wake
    int ahead = 0;
    if (const std::string why = csr_wake(in, g, p, gamma, beta, s1, ahead, W); !why.empty()) return fail(why);
    int gw1 = 0, gw2 = 0, q = 0;
    if (total_wake(f, in.sizes.sigma_long, W, g, ahead, gw1, gw2, q) != 0) return fail("");

    // 9. force on the grid
    const double fac = (g.h / clight) * force_scale;
    cnvbest(std::span<const double>(W.gau, std::size_t(gw2 - gw1 + 1)), gw1, std::span<const double>(W.cur, ns),
            g.ng1, std::span<double>(W.w, ns), g.ng1, fac, W.fft);

    // 10. interpolation to the particles
    to_particles(in, g, W, F);

    // 11. diagnostics
    if (f.ltest) {
        const double mean = p.qsum > 0.0 ? p.qct / p.qsum : 0.0;
        const double ctrms = p.qsum > 0.0 ? std::sqrt(std::max(p.qct2 / p.qsum - mean * mean, 0.0)) : 0.0;
        diagnostics(in, F, work, g, in.sizes.sigma_long / beta, ctrms, gw1, gw2, q);
    }
    return 0;
}

}  // namespace forces
