// The mesh models: observers, the per-source fields of "csr_p_to_m" and the
// cached Green's function of "csr_g_to_p" and "csr_g_to_m".
#include "forces/force3.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "fieldlib/field.hpp"
#include "forces/gmesh.hpp"
#include "forces/gmeshl.hpp"
#include "forces/ptom.hpp"
#include "forces/sources.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"
#include "lattice/pthgen.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"

namespace forces {

namespace {

using bunch::ForceType;
using foundation::force_scale;
using foundation::log_wrapped;

// A progress line on standard output, list-directed.
void progress(std::initializer_list<std::string_view> items) {
    foundation::stdout_line(foundation::ld_line(items));
}

// The rule of the progress lines over count items: the first and the last
// item and every item whose number is a multiple of the step (100,000 below
// 1,000,000 items, else 1,000,000, divided by 10 at most twice while the
// count is below it).
std::int64_t progress_step(std::int64_t count) {
    std::int64_t step = count < 1000000 ? 100000 : 1000000;
    for (int t = 0; t < 2 && count < step; ++t) step /= 10;
    return step;
}
bool progress_due(std::int64_t k, std::int64_t first, std::int64_t last, std::int64_t count) {
    return k == first || k == last || k % progress_step(count) == 0;
}

void source_progress(std::string_view label, std::int32_t i, std::int32_t npart) {
    if (progress_due(i, 1, npart, npart))
        progress({label, foundation::ld_int(i), " npart =", foundation::ld_int(npart)});
}

// "csr_p_to_m": every active particle a source on its own design path, its
// field at this process's observers, which move along phiref with the
// Lorentz factor of particle 1: fobs_j = force_scale * sum over the sources
// i of q_i (E_x, E_y, c B_z)(observer j; path_i), E turned into the
// components along phiref and to its left [V/m per C times C, then 1/m].
void per_source_fields(fieldlib::Context& cx, const ModelInput& in, MeshWork& W, double ct, const Share& sh,
                       StepTimes& T) {
    Mesh& m = W.mesh;
    const foundation::ConstParticleView XP = in.XP;
    const std::int32_t npart = XP.size();
    m.gamref = foundation::gamma_of(XP.p(1));
    m.phiref = XP.phi(1);
    // the cost of an evaluation, announced at the first one (master)
    bool announce = sh.master && in.settings.nfcall(bunch::code(ForceType::csr_p_to_m)) == 1;
    CallCost cost;
    if (announce) {
        for (std::int32_t k = 1; k <= npart; ++k) cost.sources += flag(in.lact, k) ? 1 : 0;
        cost.observers = m.nobs;
        cost.share = (m.nobs + sh.ncpu - 1) / sh.ncpu;
    }
    auto corner = [&](std::int32_t j, Observer& o) {
        o = {W.xlist(j), W.ylist(j), m.phiref, m.gamref};
        return true;
    };
    auto add = [&](std::int32_t j, double q, const fieldlib::FieldResult& res) {
        m.fobs(1, j) += q * res.E(1);
        m.fobs(2, j) += q * res.E(2);
        m.fobs(3, j) += q * res.cB(3);
    };
    auto after = [&](std::int32_t i, const SourceCost* c) {
        if (c != nullptr && T.on) T.own[std::size_t(Step::paths)] += c->path;
        // the time of a source's calls counted as those of an even share
        if (c != nullptr && announce && cost.add(c->path, c->calls, m.nobs / sh.ncpu)) {
            announce = false;
            log_call_cost("csr_p_to_m", cost);
        }
        if (sh.master && npart >= 1000 && i % 100 == 0)
            progress({"isrc=", foundation::ld_int(i), " npart=", foundation::ld_int(npart)});
    };
    source_fields(cx, in, ct, sh, m.nobs, corner, add, after);
    // lab components into the reference direction, in force units
    const double c = std::cos(m.phiref), s = std::sin(m.phiref);
    for (std::int32_t j = sh.first(); j <= m.nobs; j += sh.ncpu) {
        const double f1 = m.fobs(1, j), f2 = m.fobs(2, j);
        m.fobs(1, j) = (c * f1 + s * f2) * force_scale;
        m.fobs(2, j) = (-s * f1 + c * f2) * force_scale;
        m.fobs(3, j) *= force_scale;
    }
}

// The sizes and settings the Green's function of this evaluation is made for.
GreenFor green_for(const ModelInput& in) {
    const bunch::ForceSettings& f = in.settings;
    const SubBunchSizes& sz = in.sizes;
    return {sz.sigma_long, sz.sigma_rad, sz.sigma_vert, f.shield, f.shield_max, f.rintmi, f.ishape};
}

// Z: the observer j's position relative to source i, in the source's frame.
struct SourceFrame {
    double x, y, c, s;  // position [m], cosine and sine of the azimuth
    const MeshWork* w;  // the observers' positions
    Pt2 z(std::int32_t j) const {
        const double dx = w->xlist(j) - x, dy = w->ylist(j) - y;
        return {c * dx + s * dy, c * dy - s * dx};
    }
};

// Adds the Green's value (w, cbz) of source i (frame sf, charge times the
// force scale qs) at observer j: w is the force field on a test particle
// moving along the source's direction, so in the lab R(phi_i) w = E +
// betref c B_z (sin phi_i, -cos phi_i); the observer moves along eref = (e1,
// e2), and the terms in cbz put betref c B_z (e2, -e1) in its place. Then
// the components along eref and to its left, and c B_z [V/m per C times qs].
void accumulate(MeshWork& W, std::int32_t j, double qs, const SourceFrame& sf, const Pt2& w, double cbz) {
    const Greenc& greenc = W.green.greenc;
    Mesh& m = W.mesh;
    const double e1 = greenc.eref(1), e2 = greenc.eref(2);
    const double lx = sf.c * w[0] - sf.s * w[1] + (e2 - sf.s) * m.betref * cbz;
    const double ly = sf.s * w[0] + sf.c * w[1] - (e1 - sf.c) * m.betref * cbz;
    m.fobs(1, j) += qs * (e1 * lx + e2 * ly);
    m.fobs(2, j) += qs * (e1 * ly - e2 * lx);
    m.fobs(3, j) += qs * cbz;
}

SourceFrame source_frame(const MeshWork& w, foundation::ConstParticleView XP, std::int32_t i) {
    return {XP.x(i), XP.y(i), std::cos(XP.phi(i)), std::sin(XP.phi(i)), &w};
}

// The marked samples l1..l2 of the chunk, ascending, into shw.own (as many
// as it holds); returns their number. Blocks of flags are tested at once: a
// chunk is mostly unmarked.
std::int64_t own_marks(const MeshWork& W, SampleExchange& shw, std::int32_t l1, std::int32_t l2) {
    const Greenm& greenm = W.green.greenm;
    const ftypes::Logical* req = greenm.req.data();
    constexpr std::int32_t block = 64;
    std::int64_t n = 0;
    for (std::int32_t b0 = l1; b0 <= l2; b0 += block) {
        const std::int32_t b1 = std::min(l2, b0 + block - 1);
        std::int32_t any = 0;
        for (std::int32_t l = b0; l <= b1; ++l) any |= req[l - 1].v;
        if (any == 0) continue;
        for (std::int32_t l = b0; l <= b1; ++l) {
            if (req[l - 1].v == 0) continue;
            if (n < join_marks) shw.own(std::int32_t(n + 1)) = l;
            n += 1;
        }
    }
    return n;
}

// The samples l1..l2 of the chunk that hold every mark of points with x
// from xmin to xmax: those of the columns around them (a point marks
// samples of the two columns of its cell); l1 > l2 when there is none.
void marked_range(const MeshWork& W, double xmin, double xmax, std::int32_t& l1, std::int32_t& l2) {
    const Greenm& G = W.green.greenm;
    const Greens& S = W.green.greens;
    l1 = 1;
    l2 = 0;
    if (!(xmin <= xmax)) return;
    // the column at or left of x: xg(i) <= x < xg(i + 1)
    const double* xg = G.xg.data();
    auto column = [&](double x) { return std::int32_t(std::upper_bound(xg, xg + S.nx, x) - xg); };
    const std::int32_t c1 = std::max(S.ic1, column(xmin) - 1);
    const std::int32_t c2 = std::min(S.ic2, column(xmax) + 2);
    if (c1 > c2) return;
    l1 = std::int32_t(G.noff(c1) - S.ioff) + 1;
    l2 = std::int32_t(G.noff(c2 + 1) - S.ioff);
}

// The cell i (columns i and i + 1, 1 <= i < nx) at x, as the lookup finds
// it; 0 outside the columns.
std::int32_t cell_of(const MeshWork& W, double x) {
    const Greenm& greenm = W.green.greenm;
    const Greens& greens = W.green.greens;
    const std::int32_t nx = greens.nx;
    const double* xg = greenm.xg.data();
    if (!(x >= xg[0] && x <= xg[nx - 1])) return 0;
    const auto i = std::int32_t(std::upper_bound(xg, xg + nx, x) - xg);  // xg(i) <= x < xg(i + 1)
    return std::min(i, nx - 1);
}

// The cells of this process's pairs (and their neighbours), joined with
// every other process's into greens.cells.
void find_cells(const ModelInput& in, MeshWork& W, const Share& sh) {
    const Mesh& mesh = W.mesh;
    Greens& greens = W.green.greens;
    const foundation::ConstParticleView XP = in.XP;
    GreenCells& cells = greens.cells;
    const std::int32_t nx = greens.nx;
    std::fill(cells.hit.data(), cells.hit.data() + nx, std::uint8_t(0));
    for (std::int32_t i = 1; i <= XP.size(); ++i) {
        if (!flag(in.lact, i)) continue;
        const SourceFrame sf = source_frame(W, XP, i);
        for (std::int32_t j = sh.first(); j <= mesh.nobs; j += sh.ncpu) {
            const std::int32_t c = cell_of(W, sf.z(j)[0]);
            // with its neighbours: a point on a column may be given either cell
            if (c > 0) cells.hit(std::max(c - 1, 1)) = cells.hit(c) = cells.hit(std::min(c + 1, nx - 1)) = 1;
        }
    }
    std::int64_t n = 0;
    for (std::int32_t c = 1; c < nx; ++c) {
        if (cells.hit(c) == 0) continue;
        if (n < join_cells) cells.own(std::int32_t(n + 1)) = c;
        n += 1;
    }
    parallel::joinct(std::int32_t(n), cells.count.span());
    std::int64_t total = 0;
    for (std::int32_t p = 1; p <= sh.ncpu; ++p) total += cells.count(p);
    cells.listed = total <= join_cells;
    if (cells.listed && total > 0) parallel::joini(cells.own.span(), cells.count.span(), cells.all.span());
    cells.known = true;
}

// How many processes have pairs with their cell in the chunk (columns ic1
// to ic2); ncpu when the cells are not listed.
std::int32_t chunk_users(const MeshWork& W, const Share& sh) {
    const Greens& greens = W.green.greens;
    const GreenCells& cells = greens.cells;
    if (!cells.listed) return sh.ncpu;
    std::int32_t users = 0;
    const std::int32_t* a = cells.all.data();
    for (std::int32_t p = 1; p <= sh.ncpu; a += cells.count(p), ++p) {
        const std::int32_t* c = std::lower_bound(a, a + cells.count(p), greens.ic1);
        if (c != a + cells.count(p) && *c < greens.ic2) users += 1;
    }
    return users;
}

// A mesh of several chunks with fewer than share_pairs source-observer
// pairs a chunk (of every process, on average) is not shared: each process
// evaluates the few samples its own pairs read as it reads them (as one
// process does), so that the chunks cost no exchange. Every process
// decides alike, from the nsrc sources (the active particles).
inline constexpr double share_pairs = 1000.0;
bool few_pairs(const MeshWork& W, std::int32_t nsrc) {
    const Mesh& mesh = W.mesh;
    const Greenm& greenm = W.green.greenm;
    const double chunks = double(greenm.ngreen / cap::maxgre + 1);
    return double(nsrc) * double(mesh.nobs) < share_pairs * chunks;
}

// Marks the samples of the chunk that some source-observer pair of this
// process needs, and gives every process the union of all marks.
void mark_required(const ModelInput& in, std::int32_t nsrc, MeshWork& W, const Share& sh) {
    Mesh& mesh = W.mesh;
    Greenm& greenm = W.green.greenm;
    Greens& greens = W.green.greens;
    const foundation::ConstParticleView XP = in.XP;
    SampleExchange& shw = W.exchange;
    const std::int32_t npart = XP.size();
    // a mesh of several chunks: no marks where the pairs of one process at
    // most need samples, nor where the chunks hold too few pairs to share
    if (greenm.ngreen > greenm.n2gre) {
        const bool few = few_pairs(W, nsrc);
        if (!few && !greens.cells.known) find_cells(in, W, sh);
        if (few || chunk_users(W, sh) <= 1) {
            if (sh.master)
                for (std::int32_t i = 1; i <= npart; ++i) source_progress(" isrc_gmesh1=", i, npart);
            shw.nreq = 0;
            return;
        }
    }
    // the x range of the pairs that can mark samples of this chunk (their
    // cell within the chunk's columns), to look for the marks there only
    const double xlo = greenm.xg(greens.ic1), xhi = greenm.xg(greens.ic2);
    double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin;
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(in.lact, i)) {
            const SourceFrame sf = source_frame(W, XP, i);
            for (std::int32_t j = sh.first(); j <= mesh.nobs; j += sh.ncpu) {
                const Pt2 z = sf.z(j);
                bool lout = false;
                gmesh1(W.green, z, lout);
                if (z[0] >= xlo && z[0] <= xhi) {
                    xmin = std::min(xmin, z[0]);
                    xmax = std::max(xmax, z[0]);
                }
            }
        }
        if (sh.master) source_progress(" isrc_gmesh1=", i, npart);
    }
    std::int32_t l1 = 1, l2 = 0;
    marked_range(W, xmin, xmax, l1, l2);
    const std::int64_t nown = own_marks(W, shw, l1, l2);
    parallel::joinct(std::int32_t(nown), shw.counts.span());
    std::int64_t total = 0;
    for (std::int32_t p = 1; p <= sh.ncpu; ++p) total += shw.counts(p);
    std::int32_t n = greenm.n2gre;
    if (total <= std::min(n, join_marks)) {
        if (total > 0) parallel::joini(shw.own.span(), shw.counts.span(), shw.marks.span());
        std::int32_t* m = shw.marks.data();
        std::sort(m, m + total);
        shw.nreq = std::int32_t(std::unique(m, m + total) - m);
    } else {
        parallel::accuml(greenm.req.span().first(std::size_t(n)));
        parallel::distrl(greenm.req.span(), n);
        greenm.req_lo = 1;  // any flag of the chunk may be set now
        greenm.req_hi = std::max(greenm.req_hi, n);
        shw.nreq = -1;
    }
}

// The progress lines of the shared evaluation on the master: the chunk's
// first and last sample and every sample whose global number is a multiple
// of the step, each once its turn comes, whether required or not.
struct GreenProgress {
    std::int64_t next, last, step, ioff, ngreen;
    explicit GreenProgress(const Green& g) {
        const std::int32_t n2 = g.greenm.n2gre;
        ioff = g.greens.ioff;
        next = g.greenm.i1gre + ioff;
        last = n2 + ioff;
        step = progress_step(n2);
        ngreen = g.greenm.ngreen;
    }
    // every line due up to local sample l
    void upto(std::int32_t l) {
        while (next <= l + ioff) {
            progress({" i_green    =", foundation::ld_int(next), " ngreen=", foundation::ld_int(ngreen)});
            next = next < last ? std::min(last, (next / step + 1) * step) : last + 1;
        }
    }
};

// The shared evaluation of the chunk's required samples (every sample with
// all, else those of the marks), in rounds of at most round_samples: the
// process of each sample evaluates it, and the values of the round are
// joined on every process.
void evaluate_required(fieldlib::Context& cx, Green& g, bool all, SampleExchange& shw, const Share& sh,
                       StepTimes& T) {
    Greens& greens = g.greens;
    Greenm& G = g.greenm;
    const std::int32_t n2 = G.n2gre;
    const bool listed = !all && shw.nreq >= 0;
    GreenProgress tick(g);
    std::int32_t cursor = G.i1gre;  // the next sample to look at (flags)
    std::int64_t done = 0;          // required samples of the earlier rounds
    for (;;) {
        // the samples of this round: the next required ones
        std::int32_t b = 0;
        if (listed) {
            b = std::int32_t(std::min<std::int64_t>(round_samples, shw.nreq - done));
            for (std::int32_t k = 1; k <= b; ++k) shw.lround(k) = shw.marks(std::int32_t(done + k));
        } else {
            for (; b < round_samples && cursor <= n2; ++cursor)
                if (all || G.req(cursor)) shw.lround(++b) = cursor;
        }
        if (b == 0) break;
        // this process's share, evaluated; the counts of every process's values
        std::optional<StepClock> clock(std::in_place, T, Step::evaluation);
        std::int32_t nmine = 0;
        std::fill(shw.counts.data(), shw.counts.data() + sh.ncpu, 0);
        for (std::int32_t k = 1; k <= b; ++k) {
            const std::int64_t count = done + k;
            shw.counts(sh.owner(count)) += 3;
            if (sh.own(count)) {
                Pt2 z{}, w{};
                double cbz = 0.0;
                gmpos(g, shw.lround(k), z[0], z[1]);
                green(g, cx, z, w, cbz);
                shw.mine(++nmine) = w[0];
                shw.mine(++nmine) = w[1];
                shw.mine(++nmine) = cbz;
            }
            if (sh.master) tick.upto(shw.lround(k));
        }
        clock.emplace(T, Step::exchange);
        parallel::joinr(shw.mine.span(), shw.counts.span(), shw.joined.span());
        // every value in place, plus +0.0: a zero is stored as +0 whichever
        // process computed it, as a sum over the processes stores it
        std::int32_t at[cap::maxproc];
        for (std::int32_t p = 1, s = 0; p <= sh.ncpu; s += shw.counts(p), ++p) at[p - 1] = s;
        for (std::int32_t k = 1; k <= b; ++k) {
            const std::int32_t l = shw.lround(k);
            const double* v = shw.joined.data() + at[sh.owner(done + k) - 1];
            at[sh.owner(done + k) - 1] += 3;
            G.g(1, l) = v[0] + 0.0;
            G.g(2, l) = v[1] + 0.0;
            G.g(3, l) = v[2] + 0.0;
            set_req(g, l);
        }
        clock.reset();
        done += b;
        if (b < round_samples) break;
    }
    if (sh.master) tick.upto(n2);
    // the last chunk: the next Green's function finds its own cells
    if (greens.ic2 == greens.nx) greens.cells.known = false;
}

// The Green's function at every source-observer pair of this process whose
// point this chunk answers for: interpolated, or evaluated directly where
// the point lies outside the meshed region.
void interpolate(fieldlib::Context& cx, const ModelInput& in, MeshWork& W, const Share& sh, StepTimes& T) {
    const Mesh& mesh = W.mesh;
    const StepClock clock(T, Step::lookups);
    const foundation::ConstParticleView XP = in.XP;
    const std::int32_t npart = XP.size();
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(in.lact, i)) {
            const double qs = XP.q(i) * force_scale;
            const SourceFrame sf = source_frame(W, XP, i);
            // the observers in batches of lookup_batch, in their order
            std::array<Pt2, lookup_batch> z;
            std::array<GreenLookup, lookup_batch> g;
            for (std::int32_t j0 = sh.first(); j0 <= mesh.nobs;) {
                std::size_t n = 0;
                for (std::int32_t j = j0; j <= mesh.nobs && n < lookup_batch; j += sh.ncpu) z[n++] = sf.z(j);
                gmesh2(W.green, cx, std::span<const Pt2>(z.data(), n), g);
                for (std::size_t k = 0; k < n; ++k, j0 += sh.ncpu) {
                    GreenLookup& o = g[k];
                    if (!o.lin && o.lout) {
                        const StepClock direct(T, Step::direct);
                        green(W.green, cx, z[k], o.w, o.cbz);
                    }
                    if (o.lin || o.lout) accumulate(W, j0, qs, sf, o.w, o.cbz);
                }
            }
        }
        if (sh.master) source_progress(" isrc_gmesh2=", i, npart);
    }
}

// The particles whose share of the region's support this process finds: a
// block of consecutive ones, process by process (the support is the
// largest value over the particles in their order, so the blocks' supports
// taken in block order give it bit for bit), or all of them below
// region_share_min particles (the joins would cost more); the cosines and
// sines of their azimuths, found once for the polygon's directions.
struct RegionBlock {
    std::int32_t i1, i2;
};
inline constexpr std::int32_t region_share_min = 20000;  // particles, the fewest shared
RegionBlock region_block(const ModelInput& in, MeshWork& W, const Share& sh) {
    const std::int64_t n = in.XP.size();
    const std::int64_t ncpu = n < region_share_min ? 1 : sh.ncpu, icpu = ncpu == 1 ? 1 : sh.icpu;
    const auto i1 = std::int32_t((icpu - 1) * n / ncpu + 1), i2 = std::int32_t(icpu * n / ncpu);
    for (std::int32_t i = i1; i <= i2; ++i) {
        if (!flag(in.lact, i)) continue;
        W.cphi(i) = std::cos(in.XP.phi(i));
        W.sphi(i) = std::sin(in.XP.phi(i));
    }
    return {i1, i2};
}

// The support in direction phi of the region the Green's function must
// cover (gtom2), each process's block joined onto every process.
double region_support(const ModelInput& in, MeshWork& W, const Share& sh, RegionBlock b, double phi) {
    const double h = gtom2(W.mesh, in.XP, in.lact, phi, b.i1, b.i2, W.cphi.data(), W.sphi.data());
    if (b.i1 == 1 && b.i2 == in.XP.size()) return h;
    std::array<std::int32_t, cap::maxproc> counts{};
    std::fill(counts.begin(), counts.begin() + sh.ncpu, 1);
    parallel::joinr(std::span<const double>(&h, 1), std::span<const std::int32_t>(counts.data(), std::size_t(sh.ncpu)),
                    W.support.span());
    double all = no_support;
    for (std::int32_t p = 1; p <= sh.ncpu; ++p) all = std::max(all, W.support(p));
    return all;
}

// A time [s] as a log gives it: seconds, minutes or hours, two digits.
std::string duration_text(double sec) {
    const double v = sec < 60.0 ? sec : sec < 3600.0 ? sec / 60.0 : sec / 3600.0;
    const char* unit = sec < 60.0 ? " s" : sec < 3600.0 ? " min" : " h";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2g", v);
    return buf + std::string(unit);
}

// The stage that makes a Green's function of model type: the selected model,
// or the preconditioning stage of the selected one.
std::string green_stage(ForceType type, const bunch::ForceSettings& f) {
    const std::string word(bunch::force_model(type).word);
    ForceType selected = ForceType::none;
    if (bunch::code(type) == f.itype || !bunch::force_type_of(f.itype, selected))
        return "the green's function of " + word;
    return "the green's function of the preconditioning stage (" + word + ") of " +
           std::string(bunch::force_model(selected).word);
}

// The work of the Green's function just laid out (its first chunk) for the
// nsrc active ones of the npart particles at the observers, logged when
// log_size. A work above green_work_max is refused (status 1) with a line
// naming the stage, the work and its time on one process, the limit and the
// ways out (when it stands before the run, start says so). Every process
// decides alike from the same layout; the master logs.
int green_work(const MeshWork& W, ForceType type, const bunch::ForceSettings& f, std::int32_t npart, std::int32_t nsrc,
               bool log_size, std::string_view start = {}) {
    const double npairs = double(nsrc) * double(W.mesh.nobs);
    const GreenWork g = gmwork(W.green, npairs, gmestm(W.green, npart, W.mesh.nobs));
    if (log_size)
        foundation::log_line("green's function of " + foundation::short_real(double(W.green.greenm.ngreen)) +
                             " samples: work " + foundation::short_real(g.work) + " field calls");
    if (g.work <= f.green_work_max) return 0;
    const bool selected = bunch::code(type) == f.itype;
    log_wrapped("error: " + green_stage(type, f) + std::string(start) + " needs work " +
                foundation::short_real(g.work) + " field calls (" + foundation::short_real(g.samples) +
                " samples at most, " + foundation::short_real(g.lookups) + " look-ups; about " +
                duration_text(g.work * field_call_seconds) + " of one process), above green_work_max = " +
                foundation::short_real(f.green_work_max) + ": raise green_work_max in the forces layer, or " +
                (selected ? "take a larger sigma_long" : "set precondition = no in track_step"));
    return 1;
}

// The source of a new Green's function: the reference direction and speed
// of particle 1, the centroid of the active particles and what the function
// is made for.
void new_green_source(MeshWork& W, const ModelInput& in) {
    Greenc& greenc = W.green.greenc;
    Mesh& m = W.mesh;
    m.gamref = foundation::gamma_of(in.XP.p(1));
    m.phiref = in.XP.phi(1);
    greenc.phigrn = m.phiref;
    greenc.betgrn = m.betref;
    greenc.gamgrn = m.gamref;
    greenc.eref(1) = std::cos(m.phiref);
    greenc.eref(2) = std::sin(m.phiref);
    greenc.made_for = green_for(in);
    const GreenSource c = green_source(in);
    std::copy(c.record.begin(), c.record.end(), greenc.xggre.data());
    greenc.iggre = c.next;
}

// The design path of the Green's function's source at ct, the region the
// function must cover and, for a new function, the curvature-change rows
// of the path (into rows, nchg of them).
void green_region(fieldlib::Context& cx, const ModelInput& in, MeshWork& W, double ct, const Share& sh, bool reuse,
                  std::span<lattice::PthChg, lattice::maxchg> rows, std::int32_t& nchg) {
    Greenc& greenc = W.green.greenc;
    const auto& g = greenc.xggre;
    fieldlib::setpth(cx, in.lattice, std::span<const double, 7>(g.data(), 7), greenc.iggre, ct, in.p0);
    double rt[3];
    lattice::pthtr1(cx.path, g(1), g(2), 0.0, g(5), 0.0, ct, rt, std::span<double, 3>(greenc.etgrn.data(), 3),
                    greenc.tgrn);

    const RegionBlock block = region_block(in, W, sh);
    auto region = [&](double phi) { return region_support(in, W, sh, block, phi); };
    bounda(region, 0.0, greenc.poly, maxpol);

    nchg = 0;
    if (!reuse && lattice::pthchg(cx.path, rows, nchg) != 0) nchg = 0;
}

// The next chunk of the Green's function's mesh (gmesh0); a new layout
// (lfirst) first writes its region and the curvature-change rows to the
// "green" online monitors.
void lay_out(Green& g, bool lfirst, bool& lnext, const MeshSizes& sz, ChgRows chg) {
    if (lfirst) (void)gmshd1(g.greenc.poly, maxpol, chg);
    gmesh0(g, lfirst, lnext, sz, chg);
}

// The sizes the mesh is laid out for, with where sigma_long comes from.
MeshSizes mesh_sizes(const ModelInput& in) {
    const bunch::ForceSettings& f = in.settings;
    return {in.sizes.sigma_long, in.sizes.sigma_rad, f.shield,
            f.lfill ? " (sigma_file)" : f.lrell ? " (relative_long x rms length)" : ""};
}

std::int32_t active_count(const ModelInput& in) {
    std::int32_t n = 0;
    for (std::int32_t i = 1; i <= in.XP.size(); ++i) n += flag(in.lact, i) ? 1 : 0;
    return n;
}

// "csr_g_to_p" and "csr_g_to_m": every source's history taken as the
// centroid's, shifted and turned: the field G of the centroid's sub-bunch
// of unit charge on its design path is sampled on a mesh of its own frame
// (gmesh0) and read at z = R(-phi_i)(x_j - x_i) for source i and observer j
// (gmesh2), fobs_j = sum_i q_i force_scale R(phi_i) G(z) with the
// observer's motion (accumulate). The function is made (or reused) and read
// at every source-observer pair. Status 1 when its work is refused (nothing
// is evaluated, no collective is made).
int green_fields(fieldlib::Context& cx, ForceType type, const ModelInput& in, MeshWork& W, double ct, const Share& sh,
                 StepTimes& T) {
    Greenc& greenc = W.green.greenc;
    Greenm& greenm = W.green.greenm;
    Mesh& m = W.mesh;
    const auto& f = in.settings;
    const foundation::ConstParticleView XP = in.XP;
    std::optional<StepClock> clock(std::in_place, T, Step::centroid);
    const bool reuse = m.lgreen && ct == m.ctgreen && greenm.ngreen < cap::maxgre && f.loldms &&
                       greenc.made_for.same_model(green_for(in));
    if (reuse && sh.master) progress({"using old green's function"});
    m.lgreen = false;
    if (reuse) m.phiref = greenc.phigrn;
    else new_green_source(W, in);
    // the field library's settings of the function: a reused one is read,
    // and its missing samples evaluated, with the sizes and the duration it
    // was made with
    const GreenFor& made = greenc.made_for;
    field_settings(cx, f, {made.sigma_long, made.sigma_rad, made.sigma_vert}, greenc.betgrn);

    std::array<lattice::PthChg, lattice::maxchg> rows{};
    std::int32_t nchg = 0;
    green_region(cx, in, W, ct, sh, reuse, rows, nchg);
    const MeshSizes sizes = mesh_sizes(in);
    const std::int32_t nsrc = active_count(in);

    bool lfirst = true, lnext = false;
    do {
        clock.emplace(T, Step::layout);
        if (!reuse) lay_out(W.green, lfirst, lnext, sizes, ChgRows(rows.data(), std::size_t(nchg)));
        else lnext = false;
        if (!reuse && lfirst && green_work(W, type, f, XP.size(), nsrc, true) != 0) return 1;
        clock.reset();
        if (sh.ncpu > 1 && !reuse) {
            const double w = gmestm(W.green, XP.size(), m.nobs);
            if (sh.master)
                progress({"--- required flags ? ---: ", foundation::ld_real(w)});
            const bool all = w > 1.0;
            if (!all) {
                const StepClock marking(T, Step::marking);
                mark_required(in, nsrc, W, sh);
            }
            evaluate_required(cx, W.green, all, W.exchange, sh, T);
        }
        interpolate(cx, in, W, sh, T);
        lfirst = false;
    } while (lnext);

    m.ctgreen = ct;
    m.lgreen = true;
    return 0;
}

// The observers of an evaluation (ptom1), their absolute positions in the
// work arrays and their polygon; their fields zero.
void observers(const ModelInput& in, MeshWork& W, bool lmesh) {
    Mesh& m = W.mesh;
    const auto& f = in.settings;
    const SubBunchSizes& sz = in.sizes;
    ptom1(m, in.XP, sz.sigma_long, sz.sigma_rad, in.ldef, lmesh, f.sbox, f.rbox, W.boxes);
    for (std::int32_t j = 1; j <= m.nobs; ++j) {
        W.xlist(j) = m.fobs(1, j) + m.xoff;
        W.ylist(j) = m.fobs(2, j) + m.yoff;
    }
    const double margin = 0.01 * std::min(sz.sigma_long, sz.sigma_rad);
    bounda([&m](double phi) { return ptom2(m, phi); }, margin, m.poly, maxpol);
    std::fill(m.fobs.col(1), m.fobs.col(m.nobs + 1), 0.0);
}

bool any_flag(Flags fl, std::int32_t n) {
    for (std::int32_t i = 1; i <= n; ++i)
        if (flag(fl, i)) return true;
    return false;
}

bool observes_on_mesh(ForceType type) { return type == ForceType::csr_p_to_m || type == ForceType::csr_g_to_m; }

}  // namespace

// The position and momentum are weighted by the size of the charge |q|
// (charges of both signs that nearly cancel would put a charge-weighted
// centroid far from every particle; the sources keep their signs), the
// direction is the mean of the unit direction vectors; without charge every
// particle weighs alike.
GreenSource green_source(const ModelInput& in) {
    const foundation::ConstParticleView XP = in.XP;
    const Flags lact = in.lact;
    const std::int32_t npart = XP.size();
    double qsum = 0.0;
    for (std::int32_t i = 1; i <= npart; ++i)
        if (flag(lact, i)) qsum += std::abs(XP.q(i));
    const bool unweighted = qsum == 0.0;
    double wsum = 0.0, sx = 0.0, sy = 0.0, sp = 0.0, ssin = 0.0, scos = 0.0;
    std::int32_t k0 = in.lattice.nfb + 1;
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (!flag(lact, i)) continue;
        const double w = unweighted ? 1.0 : std::abs(XP.q(i));
        wsum += w;
        sx += w * XP.x(i);
        sy += w * XP.y(i);
        sp += w * XP.p(i);
        ssin += std::sin(XP.phi(i));
        scos += std::cos(XP.phi(i));
        k0 = std::min(k0, in.IP.next(i));
    }
    GreenSource c{{sx / wsum, sy / wsum, 0.0, sp / wsum, std::atan2(ssin, scos), 0.0, 1.0}, in.lattice.nfb + 1};
    const auto& L = in.lattice;
    for (std::int32_t k = std::max(k0, 1); k <= L.nfb; ++k) {
        if ((L.x(k) - c.record[0]) * L.nx(k) + (L.y(k) - c.record[1]) * L.ny(k) > 0.0) {
            c.next = k;
            break;
        }
    }
    return c;
}

void force3(ForceType type, const ModelInput& in, double ct, foundation::ForceView F, ModelWork& work,
            std::int32_t& ierr) {
    ierr = 0;
    const Share sh = Share::of_this_process();
    const foundation::ConstParticleView XP = in.XP;
    MeshWork& W = work.mesh;
    const std::int32_t npart = XP.size();
    const Flags ldef = in.ldef;
    const Flags lact = in.lact;

    // without a receiving particle there is no observer: every process
    // decides alike from the same particles and makes no collective
    if (!any_flag(ldef, npart)) {
        std::fill(F.words().begin(), F.words().end(), 0.0);
        return;
    }

    Mesh& m = W.mesh;
    m.betref = foundation::beta_of(XP.p(1));

    StepTimes& T = work.steps;
    std::optional<StepClock> clock(std::in_place, T, Step::boxes);
    observers(in, W, observes_on_mesh(type));

    // without a source the observer fields stay zero; the Green's function
    // then has no centroid (nor a reference direction) to be made for
    const bool source = any_flag(lact, npart);
    clock.reset();
    if (type == ForceType::csr_p_to_m) {
        field_settings(work.field, in.settings, in.sizes, m.betref);
        const StepClock fields(T, Step::fields);
        per_source_fields(work.field, in, W, ct, sh, T);
    } else if (source && green_fields(work.field, type, in, W, ct, sh, T) != 0) {
        ierr = 1;  // on every process alike: no collective follows
        return;
    }

    clock.emplace(T, Step::sum);
    parallel::accumu(m.fobs.span().first(3 * std::size_t(m.nobs)));
    clock.emplace(T, Step::particles);
    // no source: zero forces, +0 whatever the process count
    if (sh.master) {
        if (source) ptom9(m, XP, ldef, F);
        else std::fill(F.words().begin(), F.words().end(), 0.0);
    }
    clock.reset();
    join_steps(T);
}

void green_observers(ModelWork& work, ForceType type, const ModelInput& in) {
    work.mesh.mesh.betref = foundation::beta_of(in.XP.p(1));
    observers(in, work.mesh, observes_on_mesh(type));
}

int green_layout_work(ModelWork& work, ForceType type, const ModelInput& in, double ct) {
    MeshWork& W = work.mesh;
    const Share alone{true, 1, 1};
    new_green_source(W, in);
    std::array<lattice::PthChg, lattice::maxchg> rows{};
    std::int32_t nchg = 0;
    green_region(work.field, in, W, ct, alone, false, rows, nchg);
    bool lnext = false;
    lay_out(W.green, true, lnext, mesh_sizes(in), ChgRows(rows.data(), std::size_t(nchg)));
    return green_work(W, type, in.settings, in.XP.size(), active_count(in), false,
                      " at ct=" + foundation::short_real(ct) + ", the start of the run,");
}

}  // namespace forces
