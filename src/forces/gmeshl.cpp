// Green's-function samples and lookup.
#include "forces/gmeshl.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "bunch/monitor.hpp"
#include "fieldlib/field.hpp"
#include "bunch/moncom.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"

namespace forces {

namespace {

// Bucket of v on the grid x(1) .. x(n) split into nb buckets, 0..nb-1.
std::int32_t bucket(std::span<const double> x, double v, std::int32_t nb) {
    const double range = x.back() - x.front();
    if (!(range > 0.0)) return 0;
    const double b = double(nb - 1) * ((v - x.front()) / range);
    if (!(b > 0.0)) return 0;
    return std::min(static_cast<std::int32_t>(b), nb - 1);
}

// The cell of the columns at z: lin, cell i (columns i and i+1) and the
// y range [lo, hi] the samples of both columns cover.
struct Cell {
    bool lin = false;
    std::int32_t i = 0;
    double lo = 0.0, hi = 0.0;
};

Cell locate(const Pt2& z) {
    const Greenm& G = greenm;
    const Greens& S = greens;
    Cell c;
    fmesh2(std::span<const double>(G.xg.data(), std::size_t(S.nx)),
           std::span<const std::int32_t>(S.ib.data(), std::size_t(nbucket)), z[0], c.i, c.lin);
    if (!c.lin) return c;
    if (c.i == S.nx) c.i = S.nx - 1;
    c.lo = std::max(G.xg(S.nxy1 + c.i), G.xg(S.nxy1 + c.i + 1));
    c.hi = std::min(G.xg(S.nxy2 + c.i), G.xg(S.nxy2 + c.i + 1));
    return c;
}

bool in_chunk(const Cell& c) { return greens.ic1 <= c.i && c.i + 1 <= greens.ic2; }

bool inside(const Cell& c, double y) { return c.lo <= y && y <= c.hi; }

// Outside the meshed region and answered for by this chunk.
bool outside_here(const Cell& c, double y) {
    if (!c.lin) return greens.ic1 == 1;
    return in_chunk(c) && !inside(c, y);
}

// Evaluates global sample gs (local l) of column i.
void evaluate_sample(fieldlib::Context& cx, std::int32_t i, std::int64_t gs, std::int32_t l) {
    Greenm& G = greenm;
    // the position from the column layout (g holds values only)
    const Pt2 z = {G.xg(i), gmcoly(i, gs)};
    Pt2 w{};
    double cbz = 0.0;
    green(cx, z, w, cbz);
    G.g(1, l) = w[0];
    G.g(2, l) = w[1];
    G.g(3, l) = cbz;
    set_req(l);
}

// Evaluates global sample gs of column i unless it holds its value already.
inline void ensure(fieldlib::Context& cx, std::int32_t i, std::int64_t gs) {
    const auto l = std::int32_t(gs - greens.ioff);
    if (!greenm.req(l)) evaluate_sample(cx, i, gs, l);
}

// Drops online monitor k: frees its unit and the slot, and counts the
// failed output for the run (omofai), like every other online output.
void drop_monitor(int k) {
    auto& M = bunch::moncom;
    std::int32_t st = 0;
    if (M.mounit(k) != 0) foundation::ficout(M.mounit(k), st);
    M.mounit(k) = 0;
    M.moact(k) = false;
    M.moena(k) = false;
    ++bunch::moncom.status.nfail;
    foundation::logpri("error in output of online_monitor=" + foundation::fmt_a(bunch::mo2com.moname(k).str(), 20));
}

// Rewinds the open file of "green" monitor k so that it holds only what is
// written next: the file is opened anew under its name, which empties it.
int rewind_green(int k) {
    const auto& M = bunch::moncom;
    const std::int32_t unit = M.mounit(k);
    int st = foundation::unit_rewind(unit);
    if (st != 0) return st;
    const std::string name =
        foundation::output_name(bunch::monsuf(bunch::mo2com.moname(k).str(), M.mocnt(k)));
    st = foundation::unit_close(unit);
    if (st != 0) return st;
    return foundation::unit_open(unit, name, foundation::FileMode::write);
}

}  // namespace

GreenEvaluator set_green_evaluator(GreenEvaluator f) {
    const GreenEvaluator old = greenc.evaluator;
    greenc.evaluator = f;
    return old;
}

// The field library's (E_x, E_y, c B_z) of the centroid's sub-bunch of
// unit charge at (z, 0) of its frame, at the time tgrn on its path's clock.
void green(fieldlib::Context& cx, const Pt2& z, Pt2& w, double& cbz) {
    if (greenc.evaluator) {
        greenc.evaluator(z, w, cbz);
        return;
    }
    const double rt[3] = {z[0], z[1], 0.0};
    // a sample's value depends on its position alone, not on the samples
    // evaluated before it (lazily, or in a shared pass of any process count):
    // the nearest-point search starts at the sample's own path position
    const fieldlib::FieldResult res = fieldlib::field(
        cx, greenc.tgrn, rt, greenc.gamgrn, std::span<const double, 3>(greenc.etgrn.data(), 3), z[0]);
    w = {res.E(1), res.E(2)};
    cbz = res.cB(3);
}

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

void gmesh1(const Pt2& z, bool& lout) {
    const Cell c = locate(z);
    lout = outside_here(c, z[1]);
    if (!c.lin || !in_chunk(c) || !inside(c, z[1])) return;
    for (const std::int32_t p : {c.i, c.i + 1}) {
        std::int64_t j;
        double f;
        gmcolj(p, z[1], j, f);
        set_req(std::int32_t(j - greens.ioff));
        set_req(std::int32_t(j + 1 - greens.ioff));
    }
}

// Bilinear interpolation in the cell of columns i and i + 1: the weight of
// column i is fx = (x_i+1 - x)/(x_i+1 - x_i), and in each column the value
// is linear between the two samples around y (fractions f, f2), so
// G = (1 - f) fx G_j + f fx G_j+1 + (1 - f2)(1 - fx) G_j2 + f2 (1 - fx) G_j2+1.
void gmesh2(fieldlib::Context& cx, std::span<const Pt2> z, std::span<GreenLookup> out) {
    // in three passes over the points, each of short steps that do not
    // depend on the other points' (so the processor overlaps the points):
    // the cells, the samples around each point, the values
    struct Where {
        std::int32_t i;      // cell: columns i and i + 1
        std::int64_t j, j2;  // samples j, j + 1 of column i and j2, j2 + 1 of i + 1
        double f, f2, fx;    // fractions along the columns, weight of column i
    };
    std::array<Where, lookup_batch> at;
    const Greenm& G = greenm;
    const std::size_t n = std::min(z.size(), lookup_batch);
    for (std::size_t k = 0; k < n; ++k) {
        const Cell c = locate(z[k]);
        out[k].lin = c.lin && in_chunk(c) && inside(c, z[k][1]);
        out[k].lout = outside_here(c, z[k][1]);
        at[k].i = c.i;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (!out[k].lin) continue;
        Where& a = at[k];
        const double x1 = G.xg(a.i), x2 = G.xg(a.i + 1);
        a.fx = x2 > x1 ? (x2 - z[k][0]) / (x2 - x1) : 1.0;
        run_at(chunk_run(a.i, z[k][1]), z[k][1], a.j, a.f);
        run_at(chunk_run(a.i + 1, z[k][1]), z[k][1], a.j2, a.f2);
    }
    const auto o = greens.ioff;
    for (std::size_t k = 0; k < n; ++k) {
        if (!out[k].lin) continue;
        const Where& a = at[k];
        const std::int32_t i = a.i;
        const std::int64_t j = a.j, j2 = a.j2;
        const double f = a.f, f2 = a.f2, fx = a.fx;
        ensure(cx, i, j);
        ensure(cx, i, j + 1);
        ensure(cx, i + 1, j2);
        ensure(cx, i + 1, j2 + 1);
        const auto l1 = std::int32_t(j - o), l2 = std::int32_t(j + 1 - o);
        const auto l3 = std::int32_t(j2 - o), l4 = std::int32_t(j2 + 1 - o);
        const double w1 = (1.0 - f) * fx, w2 = f * fx, w3 = (1.0 - f2) * (1.0 - fx), w4 = f2 * (1.0 - fx);
        double v[3];
        for (int m = 1; m <= 3; ++m)
            v[m - 1] = w1 * G.g(m, l1) + w2 * G.g(m, l2) + w3 * G.g(m, l3) + w4 * G.g(m, l4);
        out[k].w = {v[0], v[1]};
        out[k].cbz = v[2];
    }
}

void gmesh2(fieldlib::Context& cx, const Pt2& z, bool& lin, bool& lout, Pt2& w, double& cbz) {
    GreenLookup g;
    gmesh2(cx, std::span<const Pt2>(&z, 1), std::span<GreenLookup>(&g, 1));
    lin = g.lin;
    lout = g.lout;
    if (lin) {
        w = g.w;
        cbz = g.cbz;
    }
}

int gmshd1(const Polygon& poly, int np, ChgRows chg) {
    auto& M = bunch::moncom;
    int ierr = 0;
    for (int k = 1; k <= cap::maxmon; ++k) {
        if (!M.moact(k) || M.motype(k) != 3 || M.moform(k) != 1 || M.mounit(k) == 0) continue;
        ierr = rewind_green(k);
        if (ierr != 0) {
            drop_monitor(k);
            continue;
        }
        const std::int32_t u = M.mounit(k);
        int st = 0;
        auto put_int = [&](long long v) {
            if (st == 0) st = foundation::unit_write(u, foundation::ld_line({foundation::ld_int(v)}));
        };
        auto put_real = [&](double v) {
            if (st == 0) st = foundation::unit_write(u, foundation::ld_line({foundation::ld_real(v)}));
        };
        for (int c = 1; c <= 2; ++c) {
            put_int(np);
            for (int v = 1; v <= np; ++v) put_real(poly(c, v));
        }
        for (int c = 1; c <= 4; ++c) {
            put_int(static_cast<long long>(chg.size()));
            for (const lattice::PthChg& r : chg) put_real(c == 1 ? r.ct : c == 2 ? r.x : c == 3 ? r.y : r.kappa);
        }
        if (st != 0) {
            ierr = st;
            drop_monitor(k);
        }
    }
    return ierr;
}

double gmestm(std::int32_t npart, std::int32_t nobs) {
    const double chunks = double(greenm.ngreen / cap::maxgre + 1);
    return (double(npart) * double(nobs) / 111.5 / double(greenm.n2gre)) * chunks;
}

GreenWork gmwork(double npairs, double w) {
    const double samples = double(greenm.ngreen);
    const double chunks = double(gmnchk());
    GreenWork g;
    g.samples = w > 1.0 ? samples : std::min(samples, 4.0 * npairs);
    g.lookups = npairs * chunks * (w > 1.0 ? 1.0 : 2.0);
    g.work = g.samples + g.lookups * lookup_calls;
    return g;
}

}  // namespace forces
