// Observers, boxes and the convex polygons of the mesh models.
#include "forces/ptom.hpp"

#include <algorithm>
#include <cmath>

#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/keyed_sort.hpp"
#include "foundation/kinematics.hpp"
#include "foundation/log.hpp"

namespace forces {

namespace {

// Largest number of boxes along one axis: the grid numbers of nu1*nv1
// points then fit 64 bits and nu1, nv1 fit 32 bits.
constexpr double max_boxes_per_axis = 2147483646.0;

// Position (u, v) [m] of a point in the box frame of mesh.
void box_frame(const Mesh& mesh, double x, double y, double& u, double& v) {
    const Mesh& m = mesh;
    const double den = m.cosref * m.cosref + m.sinref * m.sinref;
    u = (m.cosref * (x - m.xorig) + m.sinref * (y - m.yorig)) / den;
    v = (m.cosref * (y - m.yorig) - m.sinref * (x - m.xorig)) / den;
}

// Number of boxes along an axis of extent span [m] and box size size [m];
// 0 when no usable grid forms (less than one box, or too many to number).
std::int64_t box_count(double span, double size) {
    const double r = span / size;
    if (!(r >= 1.0) || !(r <= max_boxes_per_axis)) return 0;
    return static_cast<std::int64_t>(r);
}

// Each receiving particle not interpolated from a box becomes the next
// observer at its own position.
void particle_observers(Mesh& mesh, foundation::ConstParticleView P, Flags ldef, bool skip_boxed) {
    Mesh& m = mesh;
    for (std::int32_t k = 1; k <= P.size(); ++k) {
        if (!flag(ldef, k) || (skip_boxed && m.linbox(k))) continue;
        m.nobs += 1;
        m.ipt(k) = m.nobs;
        m.fobs(1, m.nobs) = P.x(k) - m.xoff;
        m.fobs(2, m.nobs) = P.y(k) - m.yoff;
        m.fobs(3, m.nobs) = 0.0;
    }
}

// The box key of every particle (the grid number of its box's lower-left
// corner; 0 for one that receives no force), sorted with the particle
// numbers.
void bin_keys(Mesh& mesh, foundation::ConstParticleView P, Flags ldef, std::int64_t nu, std::int64_t nv,
              BoxSort& sort) {
    Mesh& m = mesh;
    auto& key = sort.idxbox;
    auto& ptc = sort.idxptc;
    const std::int32_t npart = P.size();
    const std::int64_t nu1 = m.nu1;
    for (std::int32_t k = 1; k <= npart; ++k) {
        m.linbox(k) = false;
        ptc(k) = k;
        // one store of the key (0 for a particle that receives no force):
        // with a zeroing store and a later conditional one in this loop,
        // GCC 12 at -O3 left every key at 0 (its loop distribution)
        std::int64_t kk = 0;
        if (flag(ldef, k)) {
            // fobs(1..2, k) holds the particle's (u, v) here
            const std::int64_t i = std::min(
                static_cast<std::int64_t>((m.fobs(1, k) - m.umin) / m.du), nu - 1);
            const std::int64_t j = std::min(
                static_cast<std::int64_t>((m.fobs(2, k) - m.vmin) / m.dv), nv - 1);
            kk = i + 1 + nu1 * j;
        }
        key(k) = kk;
    }
    isort2({key.data(), std::size_t(npart)}, {ptc.data(), std::size_t(npart)});
}

// Runs of 4 or more receiving particles with one key become boxes.
void form_boxes(Mesh& mesh, Flags ldef, std::int32_t npart, const BoxSort& sort) {
    Mesh& m = mesh;
    const auto& key = sort.idxbox;
    const auto& ptc = sort.idxptc;
    m.nbox = 0;
    for (std::int32_t k = 1; k <= npart;) {
        std::int32_t e = k + 1;
        while (e <= npart && key(e) == key(k)) ++e;
        if (flag(ldef, std::int32_t(ptc(k))) && e - k >= 4) {
            m.nbox += 1;
            m.ibox(1, m.nbox) = key(k);
            for (std::int32_t r = k; r < e; ++r) {
                const auto ip = std::int32_t(ptc(r));
                m.linbox(ip) = true;
                m.ipt(ip) = m.nbox;
            }
        }
        k = e;
    }
}

// The corners of the boxes: each distinct grid number, ascending, is the
// next corner observer; shared corners of neighbouring boxes are one.
// Returns the number of corner observers.
std::int32_t corner_observers(Mesh& mesh, BoxSort& sort) {
    Mesh& m = mesh;
    auto& key = sort.idxbox;
    auto& ptc = sort.idxptc;
    const std::int64_t nu1 = m.nu1;
    // corner list: box number and grid number of each of its four corners;
    // 4 nbox entries fit since every box holds at least 4 particles
    for (std::int32_t b = 1; b <= m.nbox; ++b) {
        const std::int64_t c = m.ibox(1, b);
        const std::int64_t corner[4] = {c, c + 1, c + nu1, c + nu1 + 1};
        for (int q = 0; q < 4; ++q) {
            key(4 * b - 3 + q) = b;
            ptc(4 * b - 3 + q) = corner[q];
        }
    }
    const std::size_t nc = std::size_t(4) * std::size_t(m.nbox);
    isort2({ptc.data(), nc}, {key.data(), nc});

    // each distinct grid number, ascending, is the next corner observer
    std::int32_t n = 0;
    for (std::size_t r = 1; r <= nc;) {
        const std::int64_t c = ptc(int(r));
        n += 1;
        const std::int64_t i = (c - 1) % nu1;
        const std::int64_t j = (c - 1 - i) / nu1;
        const double u = m.umin + double(i) * m.du;
        const double v = m.vmin + double(j) * m.dv;
        m.fobs(1, n) = m.cosref * u - m.sinref * v + (m.xorig - m.xoff);
        m.fobs(2, n) = m.sinref * u + m.cosref * v + (m.yorig - m.yoff);
        m.fobs(3, n) = 0.0;
        for (; r <= nc && ptc(int(r)) == c; ++r) {
            const auto b = std::int32_t(key(int(r)));
            const std::int64_t c0 = m.ibox(1, b);
            if (c == c0) m.ibox(2, b) = n;
            if (c == c0 + 1) m.ibox(3, b) = n;
            if (c == c0 + nu1) m.ibox(4, b) = n;
            if (c == c0 + nu1 + 1) m.ibox(5, b) = n;
        }
    }
    return n;
}

// Bins the receiving particles into boxes of the grid nu x nv; returns the
// number of corner observers written to fobs (numbered from 1).
std::int32_t build_boxes(Mesh& mesh, foundation::ConstParticleView P, Flags ldef, std::int64_t nu, std::int64_t nv,
                         BoxSort& sort) {
    bin_keys(mesh, P, ldef, nu, nv, sort);
    form_boxes(mesh, ldef, P.size(), sort);
    return corner_observers(mesh, sort);
}

}  // namespace

void isort2(std::span<std::int64_t> key, std::span<std::int64_t> carry) {
    foundation::keyed_sort(key, carry);
}

void ptom1(Mesh& mesh, foundation::ConstParticleView P, double ssig, double rsig, Flags ldef, bool lmesh,
           double sbox, double rbox, BoxSort& sort) {
    Mesh& m = mesh;
    const std::int32_t npart = P.size();
    m.nobs = 0;
    if (npart < 1) {
        m.xoff = m.yoff = 0.0;
        if (lmesh) m.nbox = 0;
        return;
    }
    m.xoff = P.x(1);
    m.yoff = P.y(1);
    if (!lmesh) {
        for (std::int32_t k = 1; k <= npart; ++k)
            if (flag(ldef, k)) m.linbox(k) = false;
        particle_observers(mesh, P, ldef, false);
        return;
    }

    m.xorig = P.x(1);
    m.yorig = P.y(1);
    m.cosref = std::cos(P.phi(1));
    m.sinref = std::sin(P.phi(1));
    // the grid always contains particle 1's position
    m.umin = m.umax = m.vmin = m.vmax = 0.0;
    for (std::int32_t k = 1; k <= npart; ++k) {
        if (!flag(ldef, k)) continue;
        double u, v;
        box_frame(mesh, P.x(k), P.y(k), u, v);
        m.fobs(1, k) = u;
        m.fobs(2, k) = v;
        m.umin = std::min(m.umin, u);
        m.umax = std::max(m.umax, u);
        m.vmin = std::min(m.vmin, v);
        m.vmax = std::max(m.vmax, v);
    }
    const std::int64_t nu = box_count(m.umax - m.umin, sbox * ssig);
    const std::int64_t nv = box_count(m.vmax - m.vmin, rbox * rsig);

    std::int32_t ncobs = 0;
    if (nu > 0 && nv > 0) {
        m.du = (m.umax - m.umin) / double(nu);
        m.dv = (m.vmax - m.vmin) / double(nv);
        m.nu1 = std::int32_t(nu + 1);
        m.nv1 = std::int32_t(nv + 1);
        ncobs = build_boxes(mesh, P, ldef, nu, nv, sort);
    } else {
        // no grid: every receiving particle is an observer
        m.du = m.dv = 0.0;
        m.nu1 = m.nv1 = 0;
        m.nbox = 0;
        for (std::int32_t k = 1; k <= npart; ++k) m.linbox(k) = false;
    }
    m.nobs = ncobs;
    particle_observers(mesh, P, ldef, true);

    foundation::logpri(foundation::cut(foundation::ld_line({"boxes =", foundation::ld_int(m.nbox), " e_points=",
                                       foundation::ld_int(ncobs), " p_points=",
                                       foundation::ld_int(m.nobs - ncobs)}),
                         cap::loglen));
}

// A particle in a box takes the bilinear interpolation of its four corner
// observers, (1 - f)(1 - g), f (1 - g), (1 - f) g, f g at its fractional
// position (f, g) in the box; a loose particle its own observer. The
// observer fields (E1 along phiref, E2 to its left, B = c B_z) act on a test
// particle moving along phiref at betref; in the frame of particle k, with
// delta = phiref - phi_k and its own speed beta_k:
//   F1 = E1 cos delta - E2 sin delta - betref B sin delta,
//   F2 = E1 sin delta + E2 cos delta + B (betref cos delta - beta_k).
void ptom9(const Mesh& mesh, foundation::ConstParticleView P, Flags ldef, foundation::ForceView F) {
    const Mesh& m = mesh;
    for (std::int32_t k = 1; k <= P.size(); ++k) {
        if (!flag(ldef, k)) {
            F.along(k) = F.left(k) = F.vert(k) = 0.0;
            continue;
        }
        double e1, e2, bz;
        if (m.linbox(k)) {
            double u, v;
            box_frame(mesh, P.x(k), P.y(k), u, v);
            const double a = (u - m.umin) / m.du;
            const double b = (v - m.vmin) / m.dv;
            const std::int64_t i = std::min(static_cast<std::int64_t>(a), std::int64_t(m.nu1) - 2);
            const std::int64_t j = std::min(static_cast<std::int64_t>(b), std::int64_t(m.nv1) - 2);
            const double f = a - double(i);
            const double g = b - double(j);
            const std::int32_t box = m.ipt(k);
            const auto o1 = std::int32_t(m.ibox(2, box)), o2 = std::int32_t(m.ibox(3, box));
            const auto o3 = std::int32_t(m.ibox(4, box)), o4 = std::int32_t(m.ibox(5, box));
            double val[3];
            for (int c = 1; c <= 3; ++c)
                val[c - 1] = (1.0 - f) * (1.0 - g) * m.fobs(c, o1) + f * (1.0 - g) * m.fobs(c, o2) +
                             (1.0 - f) * g * m.fobs(c, o3) + f * g * m.fobs(c, o4);
            e1 = val[0];
            e2 = val[1];
            bz = val[2];
        } else {
            const std::int32_t o = m.ipt(k);
            e1 = m.fobs(1, o);
            e2 = m.fobs(2, o);
            bz = m.fobs(3, o);
        }
        // the observer fields act on a test particle moving along phiref at
        // betref; the terms in B put the particle's own motion in its place
        const double delta = m.phiref - P.phi(k);
        const double p = P.p(k);
        const double betk = foundation::beta_of(p);
        const double cd = std::cos(delta), sd = std::sin(delta);
        F.along(k) = e1 * cd - e2 * sd - m.betref * bz * sd;
        F.left(k) = e1 * sd + e2 * cd + bz * (m.betref * cd - betk);
        F.vert(k) = 0.0;
    }
}

void bounda(SupportFn func, double margin, Polygon& poly, int n) {
    n = std::clamp(n, 4, maxpol);
    // support values [m] in the directions 0, pi/2, pi, 3 pi/2
    const double rho1 = func(0.0) + margin;
    const double rho2 = func(0.5 * foundation::pi) + margin;
    const double rho3 = func(foundation::pi) + margin;
    const double rho4 = func(1.5 * foundation::pi) + margin;
    // start rectangle, counter-clockwise; edge k lies on the k-th support line
    poly(1, 1) = rho1;
    poly(2, 1) = -rho4;
    poly(1, 2) = rho1;
    poly(2, 2) = rho2;
    poly(1, 3) = -rho3;
    poly(2, 3) = rho2;
    poly(1, 4) = -rho3;
    poly(2, 4) = -rho4;

    for (int m = 4; m < n;) {
        auto cyc = [&m](int i) { return i < 1 ? i + m : (i > m ? i - m : i); };
        auto X = [&poly](int i) { return poly(1, i); };
        auto Y = [&poly](int i) { return poly(2, i); };
        // the corner that sticks out most
        int i = 1;
        double best = 0.0;
        for (int k = 1; k <= m; ++k) {
            const int km = cyc(k - 1), kp = cyc(k + 1);
            const double cr = (X(k) - X(km)) * (Y(kp) - Y(k)) - (Y(k) - Y(km)) * (X(kp) - X(k));
            if (cr > best) {
                best = cr;
                i = k;
            }
        }
        // outward normal of the chord joining the corner's neighbours
        const double ph = std::atan2(-(X(cyc(i + 1)) - X(cyc(i - 1))), Y(cyc(i + 1)) - Y(cyc(i - 1)));
        for (int k = m; k >= i; --k) {
            poly(1, k + 1) = poly(1, k);
            poly(2, k + 1) = poly(2, k);
        }
        const double rho = func(ph) + margin;
        m += 1;
        // cut the corner C (now at i and i+1) along the new support line
        const int ia = cyc(i - 1), ib = cyc(i + 2);
        const double ax = X(ia), ay = Y(ia), bx = X(ib), by = Y(ib);
        const double cx = X(i), cy = Y(i);
        const double len = std::sqrt((by - ay) * (by - ay) + (bx - ax) * (bx - ax));
        if (!(len > 0.0)) continue;  // a zero-length chord: the corner stays as two coincident vertices
        const double nx = (by - ay) / len, ny = -(bx - ax) / len;
        const double ha = ax * nx + ay * ny;
        const double hc = cx * nx + cy * ny;
        if (!(hc - ha > 0.0)) continue;  // nothing sticks out beyond the chord: no cut
        // the cut points stay strictly between the corner and its neighbours
        // (at least a chosen 1e-8 of the way from either), so that the two new
        // vertices coincide neither with the corner nor with a neighbour
        const double t = std::clamp((rho - ha) / (hc - ha), 1e-08, 0.99999999);
        poly(1, i) = ax + t * (cx - ax);
        poly(2, i) = ay + t * (cy - ay);
        poly(1, i + 1) = bx + t * (cx - bx);
        poly(2, i + 1) = by + t * (cy - by);
    }
}

double ptom2(const Mesh& mesh, double phi) {
    const Mesh& m = mesh;
    if (m.nobs < 1) return 0.0;
    const double c = std::cos(phi), s = std::sin(phi);
    const double den = c * c + s * s;
    double h = (m.fobs(1, 1) * c + m.fobs(2, 1) * s) / den;
    for (std::int32_t n = 2; n <= m.nobs; ++n) h = std::max(h, (m.fobs(1, n) * c + m.fobs(2, n) * s) / den);
    return h;
}

namespace {

// The support over the active particles i1..i2 of P, ci(i) and si(i) the
// cosine and sine of particle i's azimuth; h the support so far.
template <class Cos, class Sin>
double region_support(const Mesh& mesh, foundation::ConstParticleView P, Flags lact, double phi, std::int32_t i1,
                      std::int32_t i2, Cos&& cos_of, Sin&& sin_of) {
    const Mesh& m = mesh;
    const double c = std::cos(phi), s = std::sin(phi);
    const double den = c * c + s * s;
    double h = no_support;
    for (std::int32_t i = i1; i <= i2; ++i) {
        if (!flag(lact, i)) continue;
        const double ci = cos_of(i), si = sin_of(i);
        const double di = ci * ci + si * si;
        const double ox = P.x(i) - m.xoff, oy = P.y(i) - m.yoff;
        for (int k = 1; k <= maxpol; ++k) {
            const double dx = m.poly(1, k) - ox, dy = m.poly(2, k) - oy;
            const double a = (ci * dx + si * dy) / di;
            const double b = (ci * dy - si * dx) / di;
            h = std::max(h, (a * c + b * s) / den);
        }
    }
    return h;
}

}  // namespace

double gtom2(const Mesh& mesh, foundation::ConstParticleView P, Flags lact, double phi) {
    return region_support(
        mesh, P, lact, phi, 1, P.size(), [P](std::int32_t i) { return std::cos(P.phi(i)); },
        [P](std::int32_t i) { return std::sin(P.phi(i)); });
}

double gtom2(const Mesh& mesh, foundation::ConstParticleView P, Flags lact, double phi, std::int32_t i1,
             std::int32_t i2, const double* cphi, const double* sphi) {
    return region_support(
        mesh, P, lact, phi, i1, i2, [cphi](std::int32_t i) { return cphi[i - 1]; },
        [sphi](std::int32_t i) { return sphi[i - 1]; });
}

}  // namespace forces
