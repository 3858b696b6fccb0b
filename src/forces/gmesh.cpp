// Green's-function mesh of the mesh models: columns, near columns, column
// limits, sample counts, chunks and sample positions.
#include "forces/gmesh.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "foundation/fortran_format.hpp"
#include "foundation/keyed_sort.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"

namespace forces {

namespace {

constexpr double grow = 1.5;  // growth factor of graded column runs

// The fine runs of columns and the fine band of samples in y lie on the
// lattice k*h (k integer, h the fine step) anchored at the source's centre
// 0, so the source's own offset is always a column and a sample, and the
// positions follow the sizes continuously. A lattice point nearer than
// this share of a step to a run's end is left out: no count can flip with
// the rounding of an end that lies on the lattice in exact arithmetic
// (the central run ends at +-5 sigma_long = +-25 steps).
constexpr double lattice_margin = 0.01;

// Lattice indices k of the points k*h strictly inside (a, b), each at
// least lattice_margin*h from both ends: k1..k2 (empty when k2 < k1).
void lattice_span(double a, double b, double h, double& k1, double& k2) {
    k1 = std::floor(a / h + lattice_margin) + 1.0;
    k2 = std::ceil(b / h - lattice_margin) - 1.0;
}

bool near_column(const Green& g, std::int32_t i) { return i >= g.greenm.jn1 && i <= g.greenm.jn2; }

// The runs of column i: one for a coarse column, three for a near column.
// (a run from y0 to y0 + len [m] over span samples has the step len / span)
int column_segs(const Green& g, std::int32_t i, ColumnRun (&s)[3]) {
    const Greenm& G = g.greenm;
    const Greens& S = g.greens;
    auto run = [](std::int64_t base, std::int64_t span, double y0, double len) {
        return ColumnRun{base, span, y0, len / double(span)};
    };
    if (!near_column(g, i)) {
        const std::int64_t base = G.noff(i) + 1;
        const double lo = G.xg(S.nxy1 + i);
        s[0] = run(base, G.noff(i + 1) - base, lo, G.xg(S.nxy2 + i) - lo);
        return 1;
    }
    const int k = i - G.jn1 + 1;
    for (int m = 1; m <= 3; ++m)
        s[m - 1] = run(G.jn(m, k), G.jn(m + 1, k) - G.jn(m, k), G.yn(m, k), G.yn(m + 1, k) - G.yn(m, k));
    return 3;
}

// The runs of the chunk's columns ic1..ic2 and of every near column.
void chunk_runs(Green& g) {
    Greenm& greenm = g.greenm;
    Greens& S = g.greens;
    ColumnRun s[3];
    for (std::int32_t i = S.ic1; i <= S.ic2; ++i) {
        if (near_column(g, i)) continue;
        column_segs(g, i, s);
        S.runs(i) = s[0];
    }
    for (std::int32_t i = std::max(greenm.jn1, 1); i <= greenm.jn2 && i - greenm.jn1 < maxhlp; ++i) {
        column_segs(g, i, s);
        for (int m = 1; m <= 3; ++m) S.near_runs(m, i - greenm.jn1 + 1) = s[m - 1];
    }
}

// y [m] of global sample gs within the runs s[0..ns) of its column: the
// last non-empty run starting at or below it holds it.
double seg_y(const ColumnRun (&s)[3], int ns, std::int64_t gs) {
    int m = ns - 1;
    while (m > 0 && !(s[m].span > 0 && gs >= s[m].base)) --m;
    return s[m].y0 + double(gs - s[m].base) * s[m].step;
}

// Extent of the region polygon in x.
void poly_x_range(const Green& g, double& xmin, double& xmax) {
    const Greenc& greenc = g.greenc;
    xmin = xmax = greenc.poly(1, 1);
    for (int k = 2; k <= maxpol; ++k) {
        xmin = std::min(xmin, greenc.poly(1, k));
        xmax = std::max(xmax, greenc.poly(1, k));
    }
}

// The fine interval of one past curvature-change front: the circle of
// radius r around (cx, cy) where it crosses the region. False when the
// front misses the region.
bool front_interval(const Green& g, double cx, double cy, double r, double s0, double xmin, double xmax,
                    double& xlo, double& xhi, double& wmin) {
    const Greenc& greenc = g.greenc;
    const auto& P = greenc.poly;
    auto vx = [&](int k) { return P(1, k == 0 ? maxpol : k); };
    auto vy = [&](int k) { return P(2, k == 0 ? maxpol : k); };
    // a point counts when it lies inside the x range and on the inner side
    // of (or on) every edge of the counter-clockwise polygon
    auto counts = [&](double px, double py) {
        if (!(xmin < px && px < xmax)) return false;
        for (int k = 1; k <= maxpol; ++k) {
            const double ex = vx(k) - vx(k - 1), ey = vy(k) - vy(k - 1);
            if (ex * (py - vy(k - 1)) - ey * (px - vx(k - 1)) < 0.0) return false;
        }
        return true;
    };
    const double lx = cx - r, rx = cx + r;
    const bool lc = counts(lx, cy), rc = counts(rx, cy);

    bool crossed = false;
    for (int k = 1; k <= maxpol; ++k) {
        const double sx = vx(k - 1), sy = vy(k - 1);
        const double ex0 = vx(k) - sx, ey0 = vy(k) - sy;
        const double len = std::sqrt(ex0 * ex0 + ey0 * ey0);
        if (!(len > 0.0)) continue;  // a zero-length edge has no direction
        const double ex = ex0 / len, ey = ey0 / len;
        const double p = (cx - sx) * ex + (cy - sy) * ey;   // foot point of the centre
        const double d = (cx - sx) * ey - (cy - sy) * ex;   // distance of the centre from the line
        const double disc = r * r - d * d;
        if (!(disc > 0.0)) continue;
        const double sq = std::sqrt(disc);
        for (const double s : {p - sq, p + sq}) {
            if (!(s >= 0.0 && s <= len)) continue;
            const double px = sx + s * ex, py = sy + s * ey;
            const double dx = px - cx, dy = py - cy;
            // y distance the front moves where the x spacing is s0
            const double w = std::sqrt(dy * dy + (std::abs(dx) + s0) * (std::abs(dx) + s0) - dx * dx) -
                             std::abs(dy);
            if (!crossed) {
                xlo = xhi = px;
                wmin = w;
                crossed = true;
            } else {
                xlo = std::min(xlo, px);
                xhi = std::max(xhi, px);
                wmin = std::min(wmin, w);
            }
        }
    }
    if (crossed) {
        if (lc && lx <= xlo) xlo = lx;
        if (rc && rx >= xhi) xhi = rx;
        return true;
    }
    if (!lc && !rc) return false;
    xlo = lc ? lx : rx;
    xhi = rc ? rx : lx;
    wmin = s0;
    return true;
}

// The three runs of samples of a near column over [lo, hi] [m]: steps of
// at most h outside the fine band about |y| <= b, steps hf on the lattice
// k*hf inside it. The band ends on the lattice at +-K*hf, K the count of
// fine steps that reach b (K*hf >= b within the margin); where the column
// ends inside the band, one short step joins its end to the lattice. A
// column not reaching into the band is one run of steps of at most h.
// y: the break points (lo, y1, y2, hi); jj: the sample offsets from the
// column's first sample at the break points (jj[0] = 0).
void near_column_runs(double lo, double hi, double h, double hf, double b, double (&y)[4], double (&jj)[4]) {
    const double K = std::max(std::ceil(b / hf - lattice_margin), 1.0);
    const double B = K * hf;
    double k1 = -K, k2 = K;
    if (std::max(lo, -B) < std::min(hi, B)) {
        double l1, l2;
        lattice_span(lo, hi, hf, l1, l2);
        k1 = std::max(k1, l1);
        k2 = std::min(k2, l2);
    }
    y[0] = lo;
    y[3] = hi;
    jj[0] = 0.0;
    if (!(std::max(lo, -B) < std::min(hi, B)) || k2 < k1) {
        // outside the band, or no lattice point inside the column
        y[1] = y[2] = lo;
        jj[1] = jj[2] = 0.0;
        const bool band_only = -B <= lo && hi <= B;
        jj[3] = std::trunc(1.0 + (hi - lo) / (band_only ? hf : h));
        return;
    }
    y[1] = k1 * hf;
    y[2] = k2 * hf;
    jj[1] = lo < -B ? std::trunc(1.0 + (y[1] - lo) / h) : 1.0;
    jj[2] = jj[1] + (k2 - k1);
    jj[3] = jj[2] + (hi > B ? std::trunc(1.0 + (hi - y[2]) / h) : 1.0);
}

// sigma_long = <value> m, and where the value comes from.
std::string sigma_long_text(const MeshSizes& sz) {
    return "sigma_long = " + foundation::short_real(sz.sigma_long) + " m" + std::string(sz.sigma_long_from);
}

// Bucket of v on the grid x(1) .. x(n) split into nb buckets, 0..nb-1.
std::int32_t bucket(std::span<const double> x, double v, std::int32_t nb) {
    const double range = x.back() - x.front();
    if (!(range > 0.0)) return 0;
    const double b = double(nb - 1) * ((v - x.front()) / range);
    if (!(b > 0.0)) return 0;
    return std::min(static_cast<std::int32_t>(b), nb - 1);
}

// The lines before a capacity stop of the meshing: the longitudinal size
// that sets the mesh, its value, what does not fit, and the size that
// would (columns and samples per column go as 1/sigma_long): factor times
// sigma_long at least.
void too_small(const MeshSizes& sz, const std::string& what, double factor) {
    foundation::log_line(sigma_long_text(sz) + ": too small for the green's function's mesh:");
    foundation::log_line(what);
    foundation::log_line("a sigma_long of at least " + foundation::short_real(sz.sigma_long * factor) + " m would fit");
}

// A column of count samples, more than a chunk holds: the fatal exit.
[[noreturn]] void column_too_full(const MeshSizes& sz, double count) {
    too_small(sz, "a column holds " + foundation::short_real(count) + " samples, a chunk at most " +
                         std::to_string(cap::maxgre - 1),
              count / double(cap::maxgre - 1));
    gmeshe();
}

}  // namespace

void fmesh1(std::span<const double> x, std::span<std::int32_t> ib) {
    const auto n = std::int32_t(x.size());
    const auto nb = std::int32_t(ib.size());
    for (auto& v : ib) v = 1;
    for (std::int32_t i = 1; i <= n - 1; ++i) {
        // bucket + 2 reaches nb + 1 for a value at the top: clamped
        const std::int32_t m = std::min(bucket(x, x[std::size_t(i - 1)], nb) + 2, nb);
        ib[std::size_t(m - 1)] = i + 1;
    }
    for (std::int32_t m = 2; m <= nb - 1; ++m)
        ib[std::size_t(m - 1)] = std::max(ib[std::size_t(m - 1)], ib[std::size_t(m - 2)]);
    ib[std::size_t(nb - 1)] = n;
}

void fmesh2(std::span<const double> x, std::span<const std::int32_t> ib, double v, std::int32_t& i,
            bool& lin) {
    const auto n = std::int32_t(x.size());
    auto X = [&x](std::int32_t k) { return x[std::size_t(k - 1)]; };
    lin = n >= 1 && X(1) <= v && v <= X(n);
    if (!lin) return;
    // the first column from the bucket's on beyond v, found by bisection:
    // a bucket of a fine mesh holds hundreds of columns
    const std::int32_t j0 = ib[std::size_t(bucket(x, v, std::int32_t(ib.size())))];
    i = j0 > n ? j0 - 1 : std::int32_t(std::upper_bound(x.begin() + (j0 - 1), x.end(), v) - x.begin());
    if (!(i >= 1 && X(i) <= v && (i == n || v <= X(i + 1))))
        foundation::fatal_stop(" fmesh2: there is something wrong");
}

void gmeshe() {
    foundation::logpri("error exit: meshing of green's function");
    foundation::logpri("array size 'maxgre' not sufficient");
    // the master has logged the reason; the other processes say it here
    foundation::fatal_stop(parallel::is_master() ? "" : " error exit: meshing of green's function");
}

int gmeshf(std::span<double> x, int& n, double xend, double h0, double hmax, double q, bool lgrow,
           bool lshrink) {
    const double nmax = double(x.size());
    auto X = [&x](long long k) -> double& { return x[std::size_t(k - 1)]; };
    const double xa = X(n);
    if (!lgrow && !lshrink) {
        const double d = xend - xa;
        const double m = std::trunc(d / hmax + 1.0);
        if (!(double(n) + m <= nmax)) return 1;
        const double h = d / m;
        for (long long k = 1; k <= static_cast<long long>(m); ++k) X(n + k) = xa + double(k) * h;
        n += int(m);
        return 0;
    }
    const bool both = lgrow && lshrink;
    const double D = both ? (xend - xa) * 0.5 : xend - xa;
    const double k0 = std::trunc(std::log(hmax / h0) / std::log(q));
    const double S = h0 * (std::pow(q, k0 + 1.0) - 1.0) / (q - 1.0);
    double K, h, hm;
    if (S < D) {
        const double mr = std::trunc((D - S) / hmax + 1.0);
        K = k0 + mr;
        const double f = D / (S + mr * hmax);
        h = h0 * f;
        hm = hmax * f;
    } else {
        K = std::trunc(std::log(D * (q - 1.0) / h0 + 1.0) / std::log(q));
        h = D * (q - 1.0) / (std::pow(q, K + 1.0) - 1.0);
        hm = 0.0;  // no cap: the steps grow by q to the end
    }
    const double Nd = both ? double(n) + 2.0 * K + 2.0 : double(n) + K + 1.0;
    if (!(Nd <= nmax) || !(K >= 0.0)) return 1;
    const auto N = static_cast<long long>(Nd);
    X(N) = xend;
    if (both) X(n + static_cast<long long>(K) + 1) = (xa + xend) * 0.5;
    for (long long j = 1; j <= static_cast<long long>(K); ++j) {
        if (lgrow) X(n + j) = X(n + j - 1) + h;
        if (lshrink) X(N - j) = X(N - j + 1) - h;
        h = S < D ? std::min(h * q, hm) : h * q;
    }
    n = int(N);
    return 0;
}

int gmeshk(std::span<double> x, int& n, double xend, double h) {
    double k1, k2;
    lattice_span(x[std::size_t(n - 1)], xend, h, k1, k2);
    const double m = std::max(k2 - k1 + 1.0, 0.0) + 1.0;  // new values, xend included
    if (!(double(n) + m <= double(x.size()))) return 1;
    for (double k = k1; k <= k2; k += 1.0) x[std::size_t(n++)] = k * h;
    x[std::size_t(n++)] = xend;
    return 0;
}

namespace {

// Intervals in x [a(i), b(i)], i = 1..n (1-based), with the largest y step
// r(i) inside each.
struct Intervals {
    std::array<double, maxfin + 1> a, b, r;
    int n;
};

// The fine intervals of the columns over the region xmin..xmax, sorted by
// their left ends (not merged): +-5 sigma around the source (when it
// reaches into the region) and +-5 sigma around the crossing of the region
// by the front of each past curvature change (a circle of radius -ct around
// the change: the field changes there), with the y step the front's
// crossing needs; at most maxfin.
Intervals fine_intervals(const Green& g, double sigma, double s0, double xmx, double xmin, double xmax,
                         ChgRows chg) {
    Intervals f{};
    f.r[1] = xmx;
    f.a[1] = std::max(std::min(-5.0 * sigma, xmax), xmin);
    f.b[1] = std::max(std::min(5.0 * sigma, xmax), xmin);
    int nf = f.a[1] < f.b[1] ? 1 : 0;
    for (std::size_t k = 0; k < chg.size() && chg[k].ct < 0.0; ++k) {
        double xlo = 0.0, xhi = 0.0, wmin = 0.0;
        if (!front_interval(g, chg[k].x, chg[k].y, -chg[k].ct, s0, xmin, xmax, xlo, xhi, wmin)) continue;
        if (nf >= maxfin) break;  // more rows than a design path can have
        nf += 1;
        f.a[std::size_t(nf)] = std::max(std::min(xlo - 5.0 * sigma, xmax), xmin);
        f.b[std::size_t(nf)] = std::max(std::min(xhi + 5.0 * sigma, xmax), xmin);
        f.r[std::size_t(nf)] = std::min(std::max(wmin, s0), xmx);
    }
    if (nf > 1) {
        std::array<double, maxfin + 1> num{};  // 1-based like a: the interval numbers
        for (int i = 1; i <= nf; ++i) num[std::size_t(i)] = double(i);
        foundation::sort2(std::span<double>(f.a.data() + 1, std::size_t(nf)),
                        std::span<double>(num.data() + 1, std::size_t(nf)));
        const auto b0 = f.b, r0 = f.r;
        for (int i = 1; i <= nf; ++i) {
            const auto o = std::size_t(std::lround(num[std::size_t(i)]));
            f.b[std::size_t(i)] = b0[o];
            f.r[std::size_t(i)] = r0[o];
        }
    }
    f.n = nf;
    return f;
}

// The fine intervals merged (a and b of f; the steps r are not carried):
// overlapping intervals first, then an interval whose right end lies
// within s0 of the current interval's left end; then each end moved out to
// the lattice k s0 where a graded run takes over (to the region's end when
// that is nearer than a step), so every step of a fine run is s0.
void merge_intervals(Intervals& f, double s0, double xmin, double xmax) {
    auto& a = f.a;
    auto& b = f.b;
    int m = 0;
    for (int i = 1; i <= f.n; ++i) {
        if (m == 0 || a[std::size_t(i)] < a[std::size_t(m)] || a[std::size_t(i)] > b[std::size_t(m)]) {
            m += 1;
            a[std::size_t(m)] = a[std::size_t(i)];
            b[std::size_t(m)] = b[std::size_t(i)];
        } else {
            b[std::size_t(m)] = std::max(b[std::size_t(m)], b[std::size_t(i)]);
        }
    }
    const int m1 = m;
    m = 0;
    for (int i = 1; i <= m1; ++i) {
        if (m > 0 && std::abs(b[std::size_t(i)] - a[std::size_t(m)]) <= s0) {
            b[std::size_t(m)] = b[std::size_t(i)];
        } else {
            m += 1;
            a[std::size_t(m)] = a[std::size_t(i)];
            b[std::size_t(m)] = b[std::size_t(i)];
        }
    }
    f.n = m;
    if (m == 0) return;
    if (a[1] - xmin <= s0) a[1] = xmin;
    if (xmax - b[std::size_t(m)] <= s0) b[std::size_t(m)] = xmax;
    const int m2 = m;
    m = 0;
    for (int i = 1; i <= m2; ++i) {
        double lo = a[std::size_t(i)], hi = b[std::size_t(i)];
        if (lo != xmin) {
            lo = std::floor(lo / s0 + lattice_margin) * s0;
            if (lo - xmin <= s0) lo = xmin;
        }
        if (hi != xmax) {
            hi = std::ceil(hi / s0 - lattice_margin) * s0;
            if (xmax - hi <= s0) hi = xmax;
        }
        if (m > 0 && lo <= b[std::size_t(m)]) {
            b[std::size_t(m)] = std::max(b[std::size_t(m)], hi);
        } else {
            m += 1;
            a[std::size_t(m)] = lo;
            b[std::size_t(m)] = hi;
        }
    }
    f.n = m;
}

// The columns xg(1..nx) from xmin to xmax: fine runs of s0 over the merged
// intervals, runs between them graded by 1.5 from 0.3 sigma up to xmx (one
// uniform run of xmx without an interval). Status 1 when they do not fit.
int lay_columns(Green& g, const Intervals& f, double sigma, double s0, double xmx, double xmin, double xmax) {
    Greenm& greenm = g.greenm;
    Greens& greens = g.greens;
    const auto& a = f.a;
    const auto& b = f.b;
    const int m = f.n;
    std::span<double> X(greenm.xg.data(), std::size_t(maxcol));
    X[0] = xmin;
    int cnt = 1;
    const double h0 = 0.3 * sigma;
    if (m == 0) {
        if (gmeshf(X, cnt, xmax, xmx, xmx, grow, false, false)) return 1;
    } else {
        if (xmin < a[1] && gmeshf(X, cnt, a[1], h0, xmx, grow, false, true)) return 1;
        if (gmeshk(X, cnt, b[1], s0)) return 1;
        for (int i = 2; i <= m; ++i) {
            if (gmeshf(X, cnt, a[std::size_t(i)], h0, xmx, grow, true, true)) return 1;
            if (gmeshk(X, cnt, b[std::size_t(i)], s0)) return 1;
        }
        if (b[std::size_t(m)] < xmax && gmeshf(X, cnt, xmax, h0, xmx, grow, true, false)) return 1;
    }
    greens.nx = cnt;
    return 0;
}

}  // namespace

// The column positions of the Green's function's mesh: dense (0.2 sigma)
// where the field of the source varies on the scale of sigma, around the
// source and where the fronts of past curvature changes of its design path
// cross the region, and growing by 1.5 up to 5 sigma (0.5 sigma between
// plates) in between.
int gmeshs(Green& g, double sigma, double shield, ChgRows chg, std::span<double> sra,
           std::span<double> srb, std::span<double> rmax, int& n) {
    const double s0 = 0.2 * sigma;                      // fine column spacing [m]
    const double xmx = shield != 0.0 ? 0.5 * sigma : 5.0 * sigma;  // coarsest spacing [m]
    double xmin, xmax;
    poly_x_range(g, xmin, xmax);
    Intervals f = fine_intervals(g, sigma, s0, xmx, xmin, xmax, chg);
    n = f.n;
    for (int i = 1; i <= f.n; ++i) {
        sra[std::size_t(i - 1)] = f.a[std::size_t(i)];
        srb[std::size_t(i - 1)] = f.b[std::size_t(i)];
        rmax[std::size_t(i - 1)] = f.r[std::size_t(i)];
    }
    merge_intervals(f, s0, xmin, xmax);
    return lay_columns(g, f, sigma, s0, xmx, xmin, xmax);
}

void gmmima(const Green& g, double x1, double x2, double& ylo, double& yhi) {
    const Greenc& greenc = g.greenc;
    const auto& P = greenc.poly;
    auto vx = [&](int k) { return P(1, k == 0 ? maxpol : k); };
    auto vy = [&](int k) { return P(2, k == 0 ? maxpol : k); };
    double lo[2] = {0.0, 0.0}, hi[2] = {0.0, 0.0};
    int klo[2] = {0, 0}, khi[2] = {0, 0};
    const double xs[2] = {x1, x2};
    for (int k = 1; k <= maxpol; ++k) {
        const double dx = vx(k) - vx(k - 1);
        if (dx == 0.0) continue;
        for (int e = 0; e < 2; ++e) {
            const double t = (xs[e] - vx(k - 1)) / dx;
            if (!(t >= 0.0 && t <= 1.0)) continue;
            const double y = vy(k - 1) + t * (vy(k) - vy(k - 1));
            if (dx <= 0.0) {
                hi[e] = y;
                khi[e] = k;
            } else {
                lo[e] = y;
                klo[e] = k;
            }
        }
    }
    double pmin = vy(1), pmax = vy(1);
    for (int k = 2; k <= maxpol; ++k) {
        pmin = std::min(pmin, vy(k));
        pmax = std::max(pmax, vy(k));
    }
    // no edge spans the x value: the polygon's extreme stands in
    for (int e = 0; e < 2; ++e) {
        if (klo[e] == 0) lo[e] = pmin;
        if (khi[e] == 0) hi[e] = pmax;
    }
    ylo = std::min(lo[0], lo[1]);
    if (klo[0] != 0 && klo[1] != 0 && klo[0] != klo[1])
        for (int v = klo[0]; v != klo[1]; v = v % maxpol + 1) ylo = std::min(ylo, vy(v));
    yhi = std::max(hi[0], hi[1]);
    if (khi[0] != 0 && khi[1] != 0 && khi[0] != khi[1])
        for (int v = khi[1]; v != khi[0]; v = v % maxpol + 1) yhi = std::max(yhi, vy(v));
}

double gmcoly(const Green& g, std::int32_t i, std::int64_t gs) {
    ColumnRun s[3];
    const int ns = column_segs(g, i, s);
    return seg_y(s, ns, gs);
}

void gmcolj(const Green& g, std::int32_t i, double y, std::int64_t& j, double& f) {
    run_at(chunk_run(g, i, y), y, j, f);
}

void gmpos(const Green& g, std::int32_t l, double& x, double& y) {
    const Greenm& G = g.greenm;
    const Greens& S = g.greens;
    const std::int64_t gs = std::int64_t(l) + S.ioff;
    // the column of the chunk holding global sample gs: noff(i) < gs <= noff(i+1)
    std::int32_t lo = S.ic1, hi = S.ic2;
    while (lo < hi) {
        const std::int32_t mid = lo + (hi - lo + 1) / 2;
        if (G.noff(mid) < gs) lo = mid;
        else hi = mid - 1;
    }
    x = G.xg(lo);
    y = gmcoly(g, lo, gs);
}

namespace {

// The last column of the chunk from column ic1 on: the columns ic1..ic2 + 1
// would hold limit samples or more, or ic2 = nx.
std::int32_t chunk_end(const Green& g, std::int32_t ic1, std::int64_t limit) {
    const Greenm& greenm = g.greenm;
    const Greens& greens = g.greens;
    const std::int32_t nx = greens.nx;
    for (std::int32_t c = ic1 + 1; c <= nx - 1; ++c)
        if (greenm.noff(c + 2) - greenm.noff(ic1) >= limit) return c;
    return nx;
}

}  // namespace

std::int64_t gmnchk(const Green& g) {
    const Greens& greens = g.greens;
    std::int64_t n = 1;
    for (std::int32_t ic1 = 1, ic2 = chunk_end(g, 1, cap::maxgre); ic2 < greens.nx; ++n) {
        ic1 = ic2;
        ic2 = chunk_end(g, ic1, cap::maxgre);
    }
    return n;
}

void gmchnk(Green& g, bool lfirst, bool& lnext, const MeshSizes& sz, std::int64_t limit) {
    Greenm& G = g.greenm;
    Greens& S = g.greens;
    limit = std::min<std::int64_t>(limit, cap::maxgre);
    S.ic1 = lfirst ? 1 : S.ic2;
    const std::int32_t nx = S.nx;
    if (S.ic1 >= nx || G.noff(S.ic1 + 2) - G.noff(S.ic1) >= limit) {
        S.ic2 = S.ic1;
        if (S.ic1 < nx) {
            const double n = double(G.noff(S.ic1 + 2) - G.noff(S.ic1));
            too_small(sz,
                      "two neighbouring columns hold " + foundation::short_real(n) + " samples, a chunk at most " +
                          std::to_string(limit - 1),
                      n / double(limit - 1));
        }
        gmeshe();
    }
    S.ic2 = chunk_end(g, S.ic1, limit);
    S.ioff = G.noff(S.ic1);
    G.n2gre = std::int32_t(G.noff(S.ic2 + 1) - G.noff(S.ic1));
    // no sample of the chunk holds its value yet; a value is read only once
    // its flag is set, and a sample's position comes from the column layout
    // (gmpos, gmcoly), so the values are left as they are; the flags are
    // reset as far as any was set
    const std::int32_t lo = std::max(G.req_lo, 1), hi = std::min(G.req_hi, cap::maxgre);
    if (lo <= hi) std::fill(&G.req(lo), &G.req(hi) + 1, false);
    G.req_lo = cap::maxgre + 1;
    G.req_hi = 0;
    G.i1gre = 1;
    chunk_runs(g);
    lnext = S.ic2 < nx;
}

namespace {

// The column limits: the union of the y ranges of the region over the
// cells on either side of each column (gmmima), into xg after the x.
void column_limits(Green& g, std::int32_t nx) {
    Greenm& G = g.greenm;
    const Greens& S = g.greens;
    double plo = 0.0, phi = 0.0;
    for (std::int32_t c = 1; c <= nx - 1; ++c) {
        double lo, hi;
        gmmima(g, G.xg(c), G.xg(c + 1), lo, hi);
        if (c == 1) {
            G.xg(S.nxy1 + 1) = lo;
            G.xg(S.nxy2 + 1) = hi;
        } else {
            G.xg(S.nxy1 + c) = std::min(plo, lo);
            G.xg(S.nxy2 + c) = std::max(phi, hi);
        }
        plo = lo;
        phi = hi;
    }
    G.xg(S.nxy1 + nx) = plo;
    G.xg(S.nxy2 + nx) = phi;
}

// The samples of near column i over [lo, hi] [m] with the y step h: three
// runs, the band |y| <= 10 sigma_rad in steps of min(h, 0.2 sigma_rad)
// (the sub-bunch's transverse size), into yn and jn; returns their count.
double near_column_count(Green& g, std::int32_t i, double lo, double hi, double h, const MeshSizes& sz) {
    Greenm& G = g.greenm;
    const int k = i - G.jn1 + 1;
    if (k > maxhlp) {
        // the fine columns lie 0.2 sigma_long apart: about 52 do
        foundation::log_line(sigma_long_text(sz) + ": more than " + std::to_string(maxhlp) +
                             " columns of the mesh within +-5 sigma_long");
        foundation::fatal_stop(" error in gmesh0: k.gt.maxhlp");
    }
    const double sigr = sz.sigma_rad;
    const double hf = std::min(h, 0.2 * sigr);
    const double j1 = double(G.noff(i) + 1);
    double y[4], jj[4];
    near_column_runs(lo, hi, h, hf, 10.0 * sigr, y, jj);
    for (double& v : jj) v += j1;
    const double count = jj[3] - j1 + 1.0;
    if (!(count < double(cap::maxgre))) column_too_full(sz, count);
    for (int m = 0; m < 4; ++m) {
        G.yn(m + 1, k) = y[m];
        G.jn(m + 1, k) = static_cast<std::int64_t>(jj[m]);
    }
    return count;
}

// The samples of every column and noff: a column's y step is 5 sigma_long,
// or the smallest step of the fine intervals (sra, srb, rmax) holding it;
// coarse columns equally spaced, near columns in three runs. Counts are
// checked in floating point before they become integers: no column can hold
// maxgre samples or more.
void sample_counts(Green& g, std::int32_t nx, const MeshSizes& sz, std::span<const double> sra,
                   std::span<const double> srb, std::span<const double> rmax, int nf, double tol) {
    Greenm& G = g.greenm;
    const Greens& S = g.greens;
    const double sig = sz.sigma_long;
    G.noff(1) = 0;
    for (std::int32_t i = 1; i <= nx; ++i) {
        const double xi = G.xg(i);
        double h = 5.0 * sig;
        for (int k = 0; k < nf; ++k)
            if (sra[std::size_t(k)] - tol <= xi && xi <= srb[std::size_t(k)] + tol)
                h = std::min(h, rmax[std::size_t(k)]);
        const double lo = G.xg(S.nxy1 + i), hi = G.xg(S.nxy2 + i);
        double count;
        if (!near_column(g, i)) {
            count = std::trunc((hi - lo) / h) + 2.0;
            if (!(count < double(cap::maxgre))) column_too_full(sz, count);
        } else {
            count = near_column_count(g, i, lo, hi, h, sz);
        }
        G.noff(i + 1) = G.noff(i) + static_cast<std::int64_t>(count);
    }
    G.ngreen = G.noff(nx + 1);
}

}  // namespace

// The Green's function's mesh: the field of the reference source (the
// centroid's sub-bunch of unit charge on its design path) at points of its
// own frame, on columns x_i over the region the source-observer pairs
// reach; each column's samples from the region's lower to its upper edge,
// spaced as the field varies (gmeshs, sample_counts). Read back by bilinear
// interpolation (gmesh2).
void gmesh0(Green& g, bool lfirst, bool& lnext, const MeshSizes& sz, ChgRows chg) {
    if (!lfirst) {
        gmchnk(g, false, lnext, sz);
        return;
    }
    Greenm& G = g.greenm;
    Greens& S = g.greens;
    const double sig = sz.sigma_long;
    std::array<double, maxfin> sra{}, srb{}, rmax{};
    int nf = 0;
    if (gmeshs(g, sig, sz.shield, chg, sra, srb, rmax, nf) != 0) {
        // at least one column every coarsest step over the region's length
        double xmin, xmax;
        poly_x_range(g, xmin, xmax);
        const double coarse = sz.shield != 0.0 ? 0.5 : 5.0;  // sigma_long
        const double need = (xmax - xmin) / (coarse * sig);
        too_small(sz, "its region, " + foundation::short_real(xmax - xmin) + " m long, needs more than " +
                           std::to_string(maxcol) + " columns",
                  need / double(maxcol));
        gmeshe();
    }
    const std::int32_t nx = S.nx;
    if (nx < 2) gmeshe();

    // near columns: from the last at or below -5 sigma to the first at or
    // above +5 sigma; a column on the lattice within the margin of +-5 sigma
    // counts as at it, whatever the rounding of either
    const double tol = lattice_margin * 0.2 * sig;  // m
    G.jn1 = 1;
    std::int32_t last_below = 0;
    for (std::int32_t i = 1; i <= nx; ++i) {
        if (G.xg(i) <= -5.0 * sig + tol) G.jn1 = i;
        if (G.xg(i) < 5.0 * sig - tol) last_below = i;
    }
    G.jn2 = last_below + 1;

    fmesh1(std::span<const double>(G.xg.data(), std::size_t(nx)),
           std::span<std::int32_t>(S.ib.data(), std::size_t(nbucket)));
    if (3.0 * double(nx) > double(cap::maxgre)) gmeshe();
    S.nxy1 = nx;
    S.nxy2 = 2 * nx;
    column_limits(g, nx);
    sample_counts(g, nx, sz, sra, srb, rmax, nf, tol);
    gmchnk(g, true, lnext, sz);
}

}  // namespace forces
