#include "lattice/pthgen.hpp"

#include <cmath>

#include "lattice/latcom.hpp"
#include "lattice/track.hpp"
#include "foundation/constants.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/platform.hpp"

namespace lattice {

namespace {

using foundation::clight;  // m/s

// Arc of curvature kappa at distance x (signed, m) from a node of tangent t
// and normal n towards the centre: offset from the node, tangent and
// curvature vector there. One sine/cosine pair of the half angle gives all
// of them without cancellation: sin(kx) = 2 sh ch, 1 - cos(kx) = 2 sh^2.
// Used for arcs turning by nearly a multiple of pi, where the blend of the
// end tangents has no coefficients.
struct ArcPoint {
    double c1, c2;  // offset = c1*t + c2*n
    double c5, c6;  // tangent = c5*t + c6*n
    double c7, c8;  // curvature = c7*t + c8*n
};

inline ArcPoint arc_point(double kappa, double x) {
    const double h = 0.5 * kappa * x;
    const double sh = std::sin(h), ch = std::cos(h);
    const double sn = 2.0 * sh * ch;       // sin(kappa x)
    const double omc = 2.0 * sh * sh;      // 1 - cos(kappa x)
    ArcPoint a;
    a.c1 = sn / kappa;
    a.c2 = omc / kappa;
    a.c5 = 1.0 - omc;
    a.c6 = sn;
    a.c7 = -kappa * sn;
    a.c8 = kappa * (1.0 - omc);
    return a;
}

// The blend coefficients of an arc (q = 1/sin(kappa*L)); the position from
// the start node (C1, C2) and from the end node (C3, C4) only where asked
// for: path needs one of them, and each costs two sines.
void arc_cof(double s, const double* seg, double* C, bool from_start, bool from_end) {
    const double a = seg[0], b = seg[1];
    const double L = b - a, d1 = s - a, d2 = b - s;
    const double kappa = seg[2], q = seg[3];
    if (from_start) {
        const double s1 = std::sin(kappa * d1 / 2.0);
        C[0] = 2.0 * q / kappa * std::sin(kappa * (L - d1 / 2.0)) * s1;
        C[1] = 2.0 * q / kappa * (s1 * s1);
    }
    if (from_end) {
        const double s2 = std::sin(kappa * d2 / 2.0);
        C[2] = -2.0 * q / kappa * (s2 * s2);
        C[3] = -2.0 * q / kappa * std::sin(kappa * (L - d2 / 2.0)) * s2;
    }
    C[4] = q * std::sin(kappa * d2);
    C[5] = q * std::sin(kappa * d1);
    C[6] = -q * kappa * std::cos(kappa * d2);
    C[7] = q * kappa * std::cos(kappa * d1);
}

// Position of node k from its neighbour e (k - 1 or k + 1) along their
// segment j: the start-node coefficients going forward, the end-node ones
// going back.
void node_from(Pthcom& P, int k, int j, int e) {
    if (P.turn(j) == 0.0) {
        double C[8];
        pthcof(P.spth(k), P.seg.col(j), C, P.lstr(j), P.lsmall(j));
        const double ca = (e == j) ? C[0] : C[2], cb = (e == j) ? C[1] : C[3];
        P.pos2(1, k) = P.pos2(1, e) + ca * P.dir2(1, j) + cb * P.dir2(1, j + 1);
        P.pos2(2, k) = P.pos2(2, e) + ca * P.dir2(2, j) + cb * P.dir2(2, j + 1);
    } else {
        const double sg = P.turn(j);
        const ArcPoint a = arc_point(P.seg(3, j), P.spth(k) - P.spth(e));
        const double tx = P.dir2(1, e), ty = P.dir2(2, e);
        P.pos2(1, k) = P.pos2(1, e) + (a.c1 * tx - a.c2 * sg * ty);
        P.pos2(2, k) = P.pos2(2, e) + (a.c1 * ty + a.c2 * sg * tx);
    }
}

}  // namespace

void pthcof(double s, const double* seg, double* C, bool lstr, bool lsmall) {
    const double a = seg[0], b = seg[1];
    const double L = b - a, d1 = s - a, d2 = b - s;
    if (lstr) {
        C[0] = d1;
        C[1] = 0.0;
        C[2] = 0.0;
        C[3] = -d2;
        C[4] = 1.0;
        C[5] = 0.0;
        C[6] = 0.0;
        C[7] = 0.0;
    } else if (lsmall) {
        C[0] = (L - 0.5 * d1) * d1 / L;
        C[1] = 0.5 * d1 * d1 / L;
        C[2] = -0.5 * d2 * d2 / L;
        C[3] = (0.5 * d2 - L) * d2 / L;
        C[4] = 1 - d1 / L;
        C[5] = d1 / L;
        C[6] = -1 / L;
        C[7] = 1 / L;
    } else {
        arc_cof(s, seg, C, true, true);
    }
}

void setpth(Pthcom& P, const Latcom& L, std::span<const double, 7> part, std::int32_t ifb, double ct, double p0) {
    const std::int32_t nfb = L.nfb;
    if (nfb < 1 || nfb > cap::maxlat)
        foundation::fatal_stop("error in setpth: a design path needs at least one field boundary");
    // the crossing states of every boundary, tracked without force
    const double anchor[6] = {part[0], part[1], 0.0, part[3], part[4], 0.0};
    fbpts(L, std::span<const double, 6>(anchor), ifb, ct, foundation::CrossingView(P.crossings.data(), nfb), p0);
    pthset(P, part.data(), ct, P.crossings.data(), nfb);
}

namespace {

// The shortest spacing of a path of one boundary, which has none: a length
// beyond any path [m], so that it limits nothing.
constexpr double no_spacing = 1e300;
// A crossing this close to the anchor along the path [m] is the anchor
// node: a chosen tolerance, far below any boundary spacing and far above
// the rounding of c*t.
constexpr double same_node = 1e-9;
// The search table cuts the span of the nodes into npthbin - 1 equal bins;
// s falls into bin int((npthbin - 1) x) + 1, x its fraction of the span.
constexpr double bins = npthbin - 1;
static_assert(bins == 99.0);
// The source interval reaches this far beyond the first node (or the
// anchor, if earlier) and ahead of the anchor [m]: a chosen margin, far
// longer than a bunch.
constexpr double source_margin = 1.0;
// Curvatures of consecutive segments within this relative difference are
// one curvature for the change rows.
constexpr double same_curvature = 1e-12;
// The straight before the first node enters the change rows at a point
// this far back along it [m]: a chosen length, far beyond a bunch and its
// Green's-function region.
constexpr double chg_lead = 10.0;

// Word i of crossing k of the crossing states bp (7 words each).
double crossing_word(const double* bp, int i, int k) { return bp[7 * (k - 1) + (i - 1)]; }

// 1. The anchor particle in the bending plane: the path frame and the
// particle's clock. Returns its speed beta.
double path_anchor(Pthcom& P, const double* anchor, double ct) {
    P.x0 = anchor[0];
    P.y0 = anchor[1];
    P.phi0 = anchor[4];
    const double c0 = std::cos(P.phi0), s0 = std::sin(P.phi0);
    P.rot(1, 1) = c0;
    P.rot(1, 2) = s0;
    P.rot(2, 1) = -s0;
    P.rot(2, 2) = c0;
    const double p = anchor[3];
    P.gamma = foundation::gamma_of(p);
    const double beta = foundation::beta_of(p);
    P.cbeta = clight * beta;
    P.s0 = 0.0;
    P.t0 = ct / clight;
    return beta;
}

// 3. The shortest spacing of the crossings along the path (m).
double shortest_spacing(const double* bp, std::int32_t nfb, double beta) {
    double spmin = no_spacing;
    if (nfb > 1) {
        for (int k = 2; k <= nfb; ++k) {
            const double sp = (crossing_word(bp, 7, k) - crossing_word(bp, 7, k - 1)) * beta;
            if (k == 2 || sp < spmin) spmin = sp;
        }
    }
    return spmin;
}

// 4. The nodes: the crossings, and the anchor itself unless a crossing is
// as good as at its time (then that crossing is the anchor node).
void path_nodes(Pthcom& P, const double* bp, std::int32_t nfb, const double* anchor, double ct, double beta) {
    const auto BP = [bp](int i, int k) { return crossing_word(bp, i, k); };
    int kstar = 1;
    for (int k = 2; k <= nfb; ++k)
        if (std::fabs(ct - BP(7, k)) < std::fabs(ct - BP(7, kstar))) kstar = k;
    if (std::fabs(ct - BP(7, kstar)) * beta < same_node) {
        P.ipth0 = kstar;
        P.npth = nfb;
        for (int k = 1; k <= nfb; ++k)
            for (int i = 1; i <= 7; ++i) P.node(i, k) = BP(i, k);
        return;
    }
    int klast = 0;  // last crossing at or before ct
    for (int k = 1; k <= nfb; ++k)
        if (BP(7, k) <= ct) klast = k;
    P.ipth0 = klast + 1;
    P.npth = nfb + 1;
    for (int k = 1; k <= klast; ++k)
        for (int i = 1; i <= 7; ++i) P.node(i, k) = BP(i, k);
    for (int i = 1; i <= 6; ++i) P.node(i, klast + 1) = anchor[i - 1];
    P.node(7, klast + 1) = ct;
    for (int k = klast + 1; k <= nfb; ++k)
        for (int i = 1; i <= 7; ++i) P.node(i, k + 1) = BP(i, k);
}

// 5. The nodes into the path frame: position, direction, path length.
void nodes_to_path_frame(Pthcom& P, double ct, double beta) {
    for (int k = 1; k <= P.npth; ++k) {
        const double dx = P.node(1, k) - P.x0, dy = P.node(2, k) - P.y0;
        P.node(1, k) = P.rot(1, 1) * dx + P.rot(1, 2) * dy;
        P.node(2, k) = P.rot(2, 1) * dx + P.rot(2, 2) * dy;
        P.node(5, k) = P.node(5, k) - P.phi0;
        P.spth(k) = beta * (P.node(7, k) - ct);
        P.dir2(1, k) = std::cos(P.node(5, k));
        P.dir2(2, k) = std::sin(P.node(5, k));
    }
}

// 6. The segments between the nodes: straight, turning by a small angle,
// or arcs (blended from their end tangents, or turning by nearly a
// multiple of pi).
void path_segments(Pthcom& P) {
    for (int k = 1; k <= P.npth - 1; ++k) {
        const double L = P.spth(k + 1) - P.spth(k);
        const double dphi = P.node(5, k + 1) - P.node(5, k);
        P.seg(1, k) = P.spth(k);
        P.seg(2, k) = P.spth(k + 1);
        // a segment of no length (two crossings at one point) is taken straight
        const double kappa = (L > 0.0) ? std::fabs(dphi) / L : 0.0;
        P.seg(3, k) = kappa;
        P.lstr(k) = (kappa == 0.0);
        P.lsmall(k) = !P.lstr(k) && kappa * L < small_turn;
        P.seg(4, k) = 0.0;
        P.turn(k) = 0.0;
        if (!P.lstr(k) && !P.lsmall(k)) {
            const double sn = std::sin(kappa * L);
            if (std::fabs(sn) < half_turn_sin) P.turn(k) = (dphi > 0.0) ? 1.0 : -1.0;
            else P.seg(4, k) = 1.0 / sn;
        }
    }
}

// 8. The search table of the segments by s.
void search_table(Pthcom& P) {
    const int n = P.npth;
    for (int j = 1; j <= npthbin; ++j) P.idx(j) = 1;
    const double span = P.spth(n) - P.spth(1);
    // nodes all at one point (span 0) leave the table unused: path
    // extrapolates from the end nodes
    for (int k = 1; k <= n - 1 && span > 0.0; ++k) {
        int b = static_cast<int>(bins * (P.spth(k) - P.spth(1)) / span) + 2;
        if (b > npthbin) b = npthbin;  // a node rounding onto the last bin edge
        P.idx(b) = k + 1;
    }
    for (int j = 2; j <= npthbin - 1; ++j)
        if (P.idx(j) < P.idx(j - 1)) P.idx(j) = P.idx(j - 1);
    P.idx(npthbin) = n;
}

}  // namespace

void pthset(Pthcom& P, const double* part, double ct, const double* bp, std::int32_t nfb) {
    if (nfb < 1 || nfb > cap::maxlat)
        foundation::fatal_stop("error in setpth: a design path needs at least one field boundary");
    // 1. anchor state, in the bending plane
    const double anchor[6] = {part[0], part[1], 0.0, part[3], part[4], 0.0};
    const double beta = path_anchor(P, anchor, ct);
    const double spmin = shortest_spacing(bp, nfb, beta);
    path_nodes(P, bp, nfb, anchor, ct, beta);
    nodes_to_path_frame(P, ct, beta);
    path_segments(P);

    // 7. node positions, rebuilt outward from the anchor along the segments
    const int n = P.npth;
    const int i0 = P.ipth0;
    P.pos2(1, i0) = (P.npth == nfb) ? P.node(1, i0) : 0.0;
    P.pos2(2, i0) = (P.npth == nfb) ? P.node(2, i0) : 0.0;
    for (int k = i0 + 1; k <= n; ++k) node_from(P, k, k - 1, k - 1);
    for (int k = i0 - 1; k >= 1; --k) node_from(P, k, k, k + 1);

    search_table(P);

    // 9. the limits for the field library
    const double span = P.spth(n) - P.spth(1);
    P.Slow = std::fmin(P.spth(1), P.spth(i0)) - source_margin;
    P.Shigh = P.spth(i0) + source_margin;
    P.sstpma = spmin;
    // a path of a single node (or of nodes at one point) has no extent: the
    // margin keeps the 1 m of the source interval around the anchor
    P.Rintma = (span > 0.0) ? span * 0.5 : source_margin;
}

void path(const Pthcom& P, double s, PathPoint& out) {
    out.time() = (s - P.s0) / P.cbeta;
    out.gamma() = P.gamma;
    out.pos(3) = 0.0;
    out.tangent(3) = 0.0;
    out.curv(3) = 0.0;
    // straight on from node e along the tangent of node t
    auto straight = [&](int e, int t) {
        const double ds = s - P.spth(e);
        out.pos(1) = P.pos2(1, e) + ds * P.dir2(1, t);
        out.pos(2) = P.pos2(2, e) + ds * P.dir2(2, t);
        out.tangent(1) = P.dir2(1, t);
        out.tangent(2) = P.dir2(2, t);
        out.curv(1) = 0.0;
        out.curv(2) = 0.0;
    };
    const int n = P.npth;
    if (s <= P.spth(1) || s >= P.spth(n)) {
        const int e = (s <= P.spth(1)) ? 1 : n;
        straight(e, e);
        return;
    }
    int k = P.idx(static_cast<int>(bins * (s - P.spth(1)) / (P.spth(n) - P.spth(1))) + 1);
    while (s >= P.spth(k)) ++k;
    const int j = k - 1;
    if (s < P.spth(j) || s > P.spth(k)) foundation::fatal_stop("path: there is something wrong");
    if (P.lstr(j)) {
        straight((j < P.ipth0) ? k : j, j);
        return;
    }
    if (P.turn(j) == 0.0) {
        double C[8];
        if (P.lsmall(j)) pthcof(s, P.seg.col(j), C, false, true);
        else arc_cof(s, P.seg.col(j), C, j >= P.ipth0, j < P.ipth0);
        const double ax = P.dir2(1, j), ay = P.dir2(2, j), bx = P.dir2(1, k), by = P.dir2(2, k);
        out.tangent(1) = C[4] * ax + C[5] * bx;
        out.tangent(2) = C[4] * ay + C[5] * by;
        out.curv(1) = C[6] * ax + C[7] * bx;
        out.curv(2) = C[6] * ay + C[7] * by;
        if (j < P.ipth0) {
            out.pos(1) = P.pos2(1, k) + C[2] * ax + C[3] * bx;
            out.pos(2) = P.pos2(2, k) + C[2] * ay + C[3] * by;
        } else {
            out.pos(1) = P.pos2(1, j) + C[0] * ax + C[1] * bx;
            out.pos(2) = P.pos2(2, j) + C[0] * ay + C[1] * by;
        }
        return;
    }
    // An arc turning by nearly a multiple of pi, from the nearer end node:
    // its tangent t, the normal n towards the centre, and the signed
    // distance x from that node.
    const double kappa = P.seg(3, j), sg = P.turn(j);
    const double d1 = s - P.spth(j), d2 = P.spth(k) - s;
    const int e = (d1 <= d2) ? j : k;
    const double x = (d1 <= d2) ? d1 : -d2;
    const ArcPoint a = arc_point(kappa, x);
    const double tx = P.dir2(1, e), ty = P.dir2(2, e);
    const double nx = -sg * ty, ny = sg * tx;
    out.pos(1) = P.pos2(1, e) + a.c1 * tx + a.c2 * nx;
    out.pos(2) = P.pos2(2, e) + a.c1 * ty + a.c2 * ny;
    out.tangent(1) = a.c5 * tx + a.c6 * nx;
    out.tangent(2) = a.c5 * ty + a.c6 * ny;
    out.curv(1) = a.c7 * tx + a.c8 * nx;
    out.curv(2) = a.c7 * ty + a.c8 * ny;
}

void pthtr1(const Pthcom& P, double x, double y, double z, double phi, double theta, double ct,
            std::span<double, 3> pos, std::span<double, 3> dir, double& t) {
    t = ct / clight - P.t0;
    const double dx = x - P.x0, dy = y - P.y0;
    pos[0] = P.rot(1, 1) * dx + P.rot(1, 2) * dy;
    pos[1] = P.rot(2, 1) * dx + P.rot(2, 2) * dy;
    pos[2] = z;
    const double ct_ = std::cos(theta);
    dir[0] = std::cos(phi - P.phi0) * ct_;
    dir[1] = std::sin(phi - P.phi0) * ct_;
    dir[2] = std::sin(theta);
}

void pthtr2(const Pthcom& P, std::span<double, 2> v) {
    const double c = P.rot(1, 1), s = P.rot(1, 2);
    const double v1 = v[0], v2 = v[1];
    v[0] = c * v1 - s * v2;
    v[1] = s * v1 + c * v2;
}

int pthchg(const Pthcom& P, std::span<PthChg> rows, std::int32_t& n) {
    n = 0;
    if (rows.size() < static_cast<std::size_t>(P.npth) + 1) return 1;
    auto ct_of = [&](double s) { return (s - P.s0) / P.cbeta * clight; };
    std::size_t r = 0;
    if (P.spth(1) < P.s0) {
        const double s = P.spth(1) - chg_lead;
        rows[r++] = {ct_of(s), P.pos2(1, 1) - chg_lead * P.dir2(1, 1), P.pos2(2, 1) - chg_lead * P.dir2(2, 1),
                     0.0};
    }
    int pending = 1;
    double kprev = 0.0;
    for (int k = 2; k <= P.npth; ++k) {
        const double kappa = P.seg(3, k - 1);
        if (std::fabs(kappa - kprev) <= std::fmax(kprev, kappa) * same_curvature) {
            pending = k;
            continue;
        }
        rows[r++] = {ct_of(P.spth(pending)), P.pos2(1, pending), P.pos2(2, pending), kappa};
        pending = k;
        kprev = kappa;
    }
    rows[r] = {ct_of(P.spth(pending)), P.pos2(1, pending), P.pos2(2, pending), 0.0};
    if (kprev != 0.0) {
        n = static_cast<std::int32_t>(r + 1);
    } else {
        n = static_cast<std::int32_t>(r);
    }
    return 0;
}

PathBend sharpest_bend(const Pthcom& P, double s_lo, double s_hi) {
    PathBend b{0.0, 0.0, 0.0};
    int sharpest = 0;
    for (int k = 1; k <= P.npth - 1; ++k) {
        if (!(P.seg(2, k) > s_lo && P.seg(1, k) < s_hi)) continue;
        if (P.seg(3, k) > b.kappa) {
            b.kappa = P.seg(3, k);
            sharpest = k;
        }
    }
    if (sharpest == 0) return b;
    // the two halves of a bend split at the anchor agree to the rounding
    // of the tracked crossings
    auto same = [&](int k) { return std::fabs(P.seg(3, k) - b.kappa) <= 1e-6 * b.kappa; };
    int first = sharpest, last = sharpest;
    while (first > 1 && same(first - 1)) --first;
    while (last < P.npth - 1 && same(last + 1)) ++last;
    b.s_begin = P.seg(1, first);
    b.s_end = P.seg(2, last);
    return b;
}

}  // namespace lattice
