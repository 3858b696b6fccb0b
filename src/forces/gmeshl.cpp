// Green's-function samples and lookup.
#include "forces/gmeshl.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "bunch/monitor.hpp"
#include "fieldlib/field.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"

namespace forces {

namespace {

// The cell of the columns at z: lin, cell i (columns i and i+1) and the
// y range [lo, hi] the samples of both columns cover.
struct Cell {
    bool lin = false;
    std::int32_t i = 0;
    double lo = 0.0, hi = 0.0;
};

Cell locate(const Green& g, const Pt2& z) {
    const Greenm& G = g.greenm;
    const Greens& S = g.greens;
    Cell c;
    fmesh2(std::span<const double>(G.xg.data(), std::size_t(S.nx)),
           std::span<const std::int32_t>(S.ib.data(), std::size_t(nbucket)), z[0], c.i, c.lin);
    if (!c.lin) return c;
    if (c.i == S.nx) c.i = S.nx - 1;
    c.lo = std::max(G.xg(S.nxy1 + c.i), G.xg(S.nxy1 + c.i + 1));
    c.hi = std::min(G.xg(S.nxy2 + c.i), G.xg(S.nxy2 + c.i + 1));
    return c;
}

bool in_chunk(const Green& g, const Cell& c) { return g.greens.ic1 <= c.i && c.i + 1 <= g.greens.ic2; }

bool inside(const Cell& c, double y) { return c.lo <= y && y <= c.hi; }

// Outside the meshed region and answered for by this chunk.
bool outside_here(const Green& g, const Cell& c, double y) {
    const Greens& greens = g.greens;
    if (!c.lin) return greens.ic1 == 1;
    return in_chunk(g, c) && !inside(c, y);
}

// Evaluates global sample gs (local l) of column i.
void evaluate_sample(Green& g, fieldlib::Context& cx, std::int32_t i, std::int64_t gs, std::int32_t l) {
    Greenm& G = g.greenm;
    // the position from the column layout (g holds values only)
    const Pt2 z = {G.xg(i), gmcoly(g, i, gs)};
    Pt2 w{};
    double cbz = 0.0;
    green(g, cx, z, w, cbz);
    G.g(1, l) = w[0];
    G.g(2, l) = w[1];
    G.g(3, l) = cbz;
    set_req(g, l);
}

// Evaluates global sample gs of column i unless it holds its value already.
inline void ensure(Green& g, fieldlib::Context& cx, std::int32_t i, std::int64_t gs) {
    const auto l = std::int32_t(gs - g.greens.ioff);
    if (!g.greenm.req(l)) evaluate_sample(g, cx, i, gs, l);
}

}  // namespace

GreenEvaluator set_green_evaluator(Green& g, GreenEvaluator f) {
    const GreenEvaluator old = g.greenc.evaluator;
    g.greenc.evaluator = f;
    return old;
}

// The field library's (E_x, E_y, c B_z) of the centroid's sub-bunch of
// unit charge at (z, 0) of its frame, at the time tgrn on its path's clock.
void green(const Green& g, fieldlib::Context& cx, const Pt2& z, Pt2& w, double& cbz) {
    const Greenc& greenc = g.greenc;
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

void gmesh1(Green& g, const Pt2& z, bool& lout) {
    const Greens& greens = g.greens;
    const Cell c = locate(g, z);
    lout = outside_here(g, c, z[1]);
    if (!c.lin || !in_chunk(g, c) || !inside(c, z[1])) return;
    for (const std::int32_t p : {c.i, c.i + 1}) {
        std::int64_t j;
        double f;
        gmcolj(g, p, z[1], j, f);
        set_req(g, std::int32_t(j - greens.ioff));
        set_req(g, std::int32_t(j + 1 - greens.ioff));
    }
}

// Bilinear interpolation in the cell of columns i and i + 1: the weight of
// column i is fx = (x_i+1 - x)/(x_i+1 - x_i), and in each column the value
// is linear between the two samples around y (fractions f, f2), so
// G = (1 - f) fx G_j + f fx G_j+1 + (1 - f2)(1 - fx) G_j2 + f2 (1 - fx) G_j2+1.
void gmesh2(Green& g, fieldlib::Context& cx, std::span<const Pt2> z, std::span<GreenLookup> out) {
    const Greens& greens = g.greens;
    // in three passes over the points, each of short steps that do not
    // depend on the other points' (so the processor overlaps the points):
    // the cells, the samples around each point, the values
    struct Where {
        std::int32_t i;      // cell: columns i and i + 1
        std::int64_t j, j2;  // samples j, j + 1 of column i and j2, j2 + 1 of i + 1
        double f, f2, fx;    // fractions along the columns, weight of column i
    };
    std::array<Where, lookup_batch> at;
    const Greenm& G = g.greenm;
    const std::size_t n = std::min(z.size(), lookup_batch);
    for (std::size_t k = 0; k < n; ++k) {
        const Cell c = locate(g, z[k]);
        out[k].lin = c.lin && in_chunk(g, c) && inside(c, z[k][1]);
        out[k].lout = outside_here(g, c, z[k][1]);
        at[k].i = c.i;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (!out[k].lin) continue;
        Where& a = at[k];
        const double x1 = G.xg(a.i), x2 = G.xg(a.i + 1);
        a.fx = x2 > x1 ? (x2 - z[k][0]) / (x2 - x1) : 1.0;
        run_at(chunk_run(g, a.i, z[k][1]), z[k][1], a.j, a.f);
        run_at(chunk_run(g, a.i + 1, z[k][1]), z[k][1], a.j2, a.f2);
    }
    const auto o = greens.ioff;
    for (std::size_t k = 0; k < n; ++k) {
        if (!out[k].lin) continue;
        const Where& a = at[k];
        const std::int32_t i = a.i;
        const std::int64_t j = a.j, j2 = a.j2;
        const double f = a.f, f2 = a.f2, fx = a.fx;
        ensure(g, cx, i, j);
        ensure(g, cx, i, j + 1);
        ensure(g, cx, i + 1, j2);
        ensure(g, cx, i + 1, j2 + 1);
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

void gmesh2(Green& g, fieldlib::Context& cx, const Pt2& z, bool& lin, bool& lout, Pt2& w, double& cbz) {
    GreenLookup o;
    gmesh2(g, cx, std::span<const Pt2>(&z, 1), std::span<GreenLookup>(&o, 1));
    lin = o.lin;
    lout = o.lout;
    if (lin) {
        w = o.w;
        cbz = o.cbz;
    }
}

int gmshd1(const Polygon& poly, int np, ChgRows chg) {
    // the polygon's x and y, then the rows' c*t, x, y and curvature
    std::vector<double> words(2 * std::size_t(np) + 4 * chg.size());
    std::vector<std::span<const double>> columns;
    double* w = words.data();
    for (int c = 1; c <= 2; ++c) {
        for (int v = 1; v <= np; ++v) w[v - 1] = poly(c, v);
        columns.emplace_back(w, std::size_t(np));
        w += np;
    }
    for (int c = 1; c <= 4; ++c) {
        for (std::size_t k = 0; k < chg.size(); ++k) {
            const lattice::PthChg& r = chg[k];
            w[k] = c == 1 ? r.ct : c == 2 ? r.x : c == 3 ? r.y : r.kappa;
        }
        columns.emplace_back(w, chg.size());
        w += chg.size();
    }
    return bunch::green_monitor_output(columns);
}

double gmestm(const Green& g, std::int32_t npart, std::int32_t nobs) {
    const Greenm& greenm = g.greenm;
    const double chunks = double(greenm.ngreen / cap::maxgre + 1);
    return (double(npart) * double(nobs) / marking_lookups_per_sample / double(greenm.n2gre)) * chunks;
}

GreenWork gmwork(const Green& g, double npairs, double w) {
    const double samples = double(g.greenm.ngreen);
    const double chunks = double(gmnchk(g));
    GreenWork o;
    o.samples = w > 1.0 ? samples : std::min(samples, 4.0 * npairs);
    o.lookups = npairs * chunks * (w > 1.0 ? 1.0 : 2.0);
    o.work = o.samples + o.lookups * lookup_calls;
    return o;
}

}  // namespace forces
