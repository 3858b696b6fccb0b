// The mesh models: observers, the per-source fields of "csr_p_to_m" and the
// cached Green's function of "csr_g_to_p" and "csr_g_to_m".
#include "forces/force3.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "bunch/prtcls.hpp"
#include "fieldlib/field.hpp"
#include "forces/force2.hpp"
#include "forces/gmesh.hpp"
#include "forces/gmeshl.hpp"
#include "forces/ptom.hpp"
#include "foundation/constants.hpp"
#include "foundation/fortran_format.hpp"
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

// Absolute positions [m] of the observers while fobs holds their fields.
struct Force3wk : ftypes::NoCopy {
    ftypes::Arr1<double, cap::maxprt> xlist;
    ftypes::Arr1<double, cap::maxprt> ylist;
};
Force3wk wk;

// Who this process is and which items are its own: item i belongs to the
// process mod(i, ncpu) + 1.
struct Share {
    bool master;
    std::int32_t icpu, ncpu;
    bool own(std::int64_t i) const { return i % ncpu + 1 == icpu; }
    // the first of its items; the next ones follow every ncpu
    std::int32_t first() const { return icpu == 1 ? ncpu : icpu - 1; }
};

// A progress line on standard output, list-directed.
void progress(std::initializer_list<std::string_view> items) {
    foundation::stdout_line(foundation::ld_line(items));
}

// The rule of the progress lines over count items: the first and the last
// item and every item whose number is a multiple of the step (100,000 below
// 1,000,000 items, else 1,000,000, divided by 10 at most twice while the
// count is below it).
bool progress_due(std::int64_t k, std::int64_t first, std::int64_t last, std::int64_t count) {
    std::int64_t step = count < 1000000 ? 100000 : 1000000;
    for (int t = 0; t < 2 && count < step; ++t) step /= 10;
    return k == first || k == last || k % step == 0;
}

void source_progress(std::string_view label, std::int32_t i, std::int32_t npart) {
    if (progress_due(i, 1, npart, npart))
        progress({label, foundation::ld_int(i), " npart =", foundation::ld_int(npart)});
}

// "csr_p_to_m": every active particle a source on its own design path, its
// field at this process's observers, which move along phiref.
void per_source_fields(foundation::ConstParticleView XP, foundation::ConstIndexView IP, Flags lact,
                       double ct, const Share& sh) {
    Mesh& m = mesh;
    const std::int32_t npart = XP.size();
    m.gamref = std::sqrt(XP.p(1) * XP.p(1) + 1.0);
    m.phiref = XP.phi(1);
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(lact, i)) {
            const double q = XP.q(i);  // C
            fieldlib::setpth(XP.record(i).data(), IP.next(i), lattice::latcom.nfb, ct, bunch::prtcls.p0);
            for (std::int32_t j = sh.first(); j <= m.nobs; j += sh.ncpu) {
                double rt[3], et[3], t, dwb[14];
                lattice::pthtr1(wk.xlist(j), wk.ylist(j), 0.0, m.phiref, 0.0, ct, rt, et, t);
                // the nearest-point search starts at the observer's own path
                // position: its field does not depend on the observers this
                // process evaluated before (nor on the process count)
                fieldlib::nearest_start(rt[0]);
                fieldlib::field(t, rt, m.gamref, et, dwb);
                lattice::pthtr2(dwb);
                m.fobs(1, j) += q * dwb[0];
                m.fobs(2, j) += q * dwb[1];
                m.fobs(3, j) += q * dwb[5];
            }
        }
        if (sh.master && npart >= 1000 && i % 100 == 0)
            progress({"isrc=", foundation::ld_int(i), " npart=", foundation::ld_int(npart)});
    }
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
GreenFor green_for() {
    const auto& f = bunch::forces;
    return {f.sigma_long, f.sigma_rad, f.sigma_vert, f.shield, f.shield_max, f.rintmi, f.ishape};
}

// The field library's sub-bunch sizes and duration for the sizes sz with a
// test particle of speed beta [c], as field_settings gives them (the shape
// is that of sz).
void made_settings(const GreenFor& sz, double beta) {
    fieldlib::finit("sigmat", sz.sigma_long / (foundation::clight * beta));  // s
    if (sz.ishape == 3) fieldlib::finit("sigmar", sz.sigma_rad);
    fieldlib::finit("sigmaz", sz.sigma_vert);
}

// The centroid of the active particles as a particle record of unit charge:
// position and momentum weighted by the size of the charge |q| (charges of
// both signs that nearly cancel would put a charge-weighted centroid far
// from every particle; the sources keep their signs), direction the mean of
// the unit direction vectors; and its next field boundary, the first one
// ahead of it from the smallest next boundary of the active particles on.
// Without charge every particle weighs alike.
void centroid(foundation::ConstParticleView XP, foundation::ConstIndexView IP, Flags lact) {
    const std::int32_t npart = XP.size();
    double qsum = 0.0;
    for (std::int32_t i = 1; i <= npart; ++i)
        if (flag(lact, i)) qsum += std::abs(XP.q(i));
    const bool unweighted = qsum == 0.0;
    double wsum = 0.0, sx = 0.0, sy = 0.0, sp = 0.0, ssin = 0.0, scos = 0.0;
    std::int32_t k0 = lattice::latcom.nfb + 1;
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (!flag(lact, i)) continue;
        const double w = unweighted ? 1.0 : std::abs(XP.q(i));
        wsum += w;
        sx += w * XP.x(i);
        sy += w * XP.y(i);
        sp += w * XP.p(i);
        ssin += std::sin(XP.phi(i));
        scos += std::cos(XP.phi(i));
        k0 = std::min(k0, IP.next(i));
    }
    auto& g = greenc.xggre;
    g(1) = sx / wsum;
    g(2) = sy / wsum;
    g(3) = 0.0;
    g(4) = sp / wsum;
    g(5) = std::atan2(ssin, scos);
    g(6) = 0.0;
    g(7) = 1.0;
    const auto& L = lattice::latcom;
    greenc.iggre = L.nfb + 1;
    for (std::int32_t k = std::max(k0, 1); k <= L.nfb; ++k) {
        if ((L.x(k) - g(1)) * L.nx(k) + (L.y(k) - g(2)) * L.ny(k) > 0.0) {
            greenc.iggre = k;
            break;
        }
    }
}

// Z: the observer j's position relative to source i, in the source's frame.
struct SourceFrame {
    double x, y, c, s;  // position [m], cosine and sine of the azimuth
    Pt2 z(std::int32_t j) const {
        const double dx = wk.xlist(j) - x, dy = wk.ylist(j) - y;
        return {c * dx + s * dy, c * dy - s * dx};
    }
};

// Adds the Green's value (w, cbz) of source i (frame sf, charge times the
// force scale qs) at observer j: from the source's frame into the lab, the
// observer's motion along eref in place of the source's direction, then
// components along eref and to its left.
void accumulate(std::int32_t j, double qs, const SourceFrame& sf, const Pt2& w, double cbz) {
    Mesh& m = mesh;
    const double e1 = greenc.eref(1), e2 = greenc.eref(2);
    const double lx = sf.c * w[0] - sf.s * w[1] + (e2 - sf.s) * m.betref * cbz;
    const double ly = sf.s * w[0] + sf.c * w[1] - (e1 - sf.c) * m.betref * cbz;
    m.fobs(1, j) += qs * (e1 * lx + e2 * ly);
    m.fobs(2, j) += qs * (e1 * ly - e2 * lx);
    m.fobs(3, j) += qs * cbz;
}

SourceFrame source_frame(foundation::ConstParticleView XP, std::int32_t i) {
    return {XP.x(i), XP.y(i), std::cos(XP.phi(i)), std::sin(XP.phi(i))};
}

// Marks the samples of the chunk that some source-observer pair of this
// process needs, and gives every process the union of all marks.
void mark_required(foundation::ConstParticleView XP, Flags lact, const Share& sh) {
    const std::int32_t npart = XP.size();
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(lact, i)) {
            const SourceFrame sf = source_frame(XP, i);
            for (std::int32_t j = sh.first(); j <= mesh.nobs; j += sh.ncpu) {
                bool lout = false;
                gmesh1(sf.z(j), lout);
            }
        }
        if (sh.master) source_progress(" isrc_gmesh1=", i, npart);
    }
    std::int32_t n = greenm.n2gre;
    parallel::accuml(greenm.req.data(), n);
    parallel::distrl(greenm.req.data(), n, cap::maxgre);
}

// The shared evaluation of the chunk's required samples (every sample with
// all): the required samples are dealt out by their running count, summed
// onto the master and given to every process.
void evaluate_required(bool all, const Share& sh) {
    Greenm& G = greenm;
    const std::int32_t n2 = G.n2gre;
    std::int64_t count = 0;
    for (std::int32_t l = G.i1gre; l <= n2; ++l) {
        if (all || G.req(l)) {
            G.req(l) = true;
            count += 1;
        }
        if (G.req(l) && sh.own(count)) {
            Pt2 z{}, w{};
            double cbz = 0.0;
            gmpos(l, z[0], z[1]);
            green(z, w, cbz);
            G.g(1, l) = w[0];
            G.g(2, l) = w[1];
            G.g(3, l) = cbz;
        } else {
            G.g(1, l) = G.g(2, l) = G.g(3, l) = 0.0;
        }
        const std::int64_t gl = l + greens.ioff;
        if (sh.master && progress_due(gl, G.i1gre + greens.ioff, n2 + greens.ioff, n2))
            progress({" i_green    =", foundation::ld_int(gl), " ngreen=", foundation::ld_int(G.ngreen)});
    }
    parallel::accumu(G.g.col(G.i1gre), 3, n2 - G.i1gre + 1);
    std::int32_t n = n2;
    parallel::distri(G.g.data(), 3, n, cap::maxgre);
}

// The Green's function at every source-observer pair of this process whose
// point this chunk answers for: interpolated, or evaluated directly where
// the point lies outside the meshed region.
void interpolate(foundation::ConstParticleView XP, Flags lact, const Share& sh) {
    const std::int32_t npart = XP.size();
    for (std::int32_t i = 1; i <= npart; ++i) {
        if (flag(lact, i)) {
            const double qs = XP.q(i) * force_scale;
            const SourceFrame sf = source_frame(XP, i);
            for (std::int32_t j = sh.first(); j <= mesh.nobs; j += sh.ncpu) {
                const Pt2 z = sf.z(j);
                bool lin = false, lout = false;
                Pt2 w{};
                double cbz = 0.0;
                gmesh2(z, lin, lout, w, cbz);
                if (!lin && lout) green(z, w, cbz);
                if (lin || lout) accumulate(j, qs, sf, w, cbz);
            }
        }
        if (sh.master) source_progress(" isrc_gmesh2=", i, npart);
    }
}

// The work of the Green's function just laid out for nsrc sources at the
// observers, logged; a work above green_work_max is refused (status 1).
// Every process decides alike from the same layout; the master logs.
int green_work(std::int32_t nsrc) {
    const double limit = bunch::forces.green_work_max;
    const double work = gmwork(double(nsrc) * double(mesh.nobs));
    foundation::log_line("green's function of " + foundation::short_real(double(greenm.ngreen)) +
                         " samples: work " + foundation::short_real(work) + " field calls");
    if (work <= limit) return 0;
    foundation::log_line("error: the work is above green_work_max = " + foundation::short_real(limit) +
                         " field calls");
    foundation::log_line("(raise green_work_max in the forces layer, or take a larger sigma_long)");
    return 1;
}

// "csr_g_to_p" and "csr_g_to_m": the Green's function of the centroid, made
// (or reused) and read at every source-observer pair. Status 1 when its
// work is refused (nothing is evaluated, no collective is made).
int green_fields(foundation::ConstParticleView XP, foundation::ConstIndexView IP, Flags lact, double ct,
                 const Share& sh) {
    Mesh& m = mesh;
    const auto& f = bunch::forces;
    const GreenFor now = green_for();
    const bool reuse = m.lgreen && ct == m.ctgreen && greenm.ngreen < cap::maxgre && f.loldms &&
                       greenc.made_for.same_model(now);
    if (reuse && sh.master) progress({"using old green's function"});
    m.lgreen = false;
    // a reused function is read, and its missing samples evaluated, with
    // the sizes and the duration it was made with
    const bool made_otherwise = reuse && !(greenc.made_for == now && greenc.betgrn == m.betref);
    if (made_otherwise) made_settings(greenc.made_for, greenc.betgrn);
    if (reuse) {
        m.phiref = greenc.phigrn;
    } else {
        m.gamref = std::sqrt(XP.p(1) * XP.p(1) + 1.0);
        m.phiref = XP.phi(1);
        greenc.phigrn = m.phiref;
        greenc.betgrn = m.betref;
        greenc.gamgrn = m.gamref;
        greenc.eref(1) = std::cos(m.phiref);
        greenc.eref(2) = std::sin(m.phiref);
        greenc.made_for = now;
        centroid(XP, IP, lact);
    }
    const auto& g = greenc.xggre;
    fieldlib::setpth(g.data(), greenc.iggre, lattice::latcom.nfb, ct, bunch::prtcls.p0);
    double rt[3];
    lattice::pthtr1(g(1), g(2), 0.0, g(5), 0.0, ct, rt, greenc.etgrn.data(), greenc.tgrn);

    auto region = [&XP, lact](double phi) { return gtom2(XP, lact, phi); };
    bounda(region, 0.0, greenc.poly, maxpol);

    std::array<lattice::PthChg, lattice::maxchg> rows{};
    std::int32_t nchg = 0;
    if (!reuse && lattice::pthchg(rows, nchg) != 0) nchg = 0;
    const MeshSizes sizes{f.sigma_long, f.sigma_rad, f.shield};

    std::int32_t nsrc = 0;
    for (std::int32_t i = 1; i <= XP.size(); ++i) nsrc += flag(lact, i) ? 1 : 0;

    bool lfirst = true, lnext = false;
    do {
        if (!reuse) gmesh0(lfirst, lnext, sizes, ChgRows(rows.data(), std::size_t(nchg)));
        else lnext = false;
        if (!reuse && lfirst && green_work(nsrc) != 0) return 1;
        if (sh.ncpu > 1 && !reuse) {
            const double w = gmestm(XP.size(), m.nobs);
            if (sh.master)
                progress({"--- required flags ? ---: ", foundation::ld_real(w)});
            const bool all = w > 1.0;
            if (!all) mark_required(XP, lact, sh);
            evaluate_required(all, sh);
        }
        interpolate(XP, lact, sh);
        lfirst = false;
    } while (lnext);

    if (made_otherwise) made_settings(now, m.betref);
    m.ctgreen = ct;
    m.lgreen = true;
    return 0;
}

}  // namespace

void force3(ForceType type, foundation::ParticleView XP, foundation::IndexView IP, double ct,
            foundation::ForceView F, std::int32_t& ierr) {
    ierr = 0;
    Share sh{};
    ftypes::Logical lmast = false;
    parallel::cmpifo(lmast, sh.icpu, sh.ncpu);
    sh.master = bool(lmast);
    const std::int32_t npart = XP.size();
    const Flags ldef(bunch::prtcls.ldef.data(), std::size_t(npart));
    const Flags lact(bunch::prtcls.lact.data(), std::size_t(npart));

    // without a receiving particle there is no observer: every process
    // decides alike from the same particles and makes no collective
    const auto any = [npart](Flags fl) {
        for (std::int32_t i = 1; i <= npart; ++i)
            if (flag(fl, i)) return true;
        return false;
    };
    if (!any(ldef)) {
        std::fill(F.words().begin(), F.words().end(), 0.0);
        return;
    }

    Mesh& m = mesh;
    const auto& f = bunch::forces;
    m.betref = XP.p(1) / std::sqrt(XP.p(1) * XP.p(1) + 1.0);
    field_settings(m.betref);

    const bool lmesh = type == ForceType::csr_p_to_m || type == ForceType::csr_g_to_m;
    ptom1(XP, f.sigma_long, f.sigma_rad, ldef, lmesh, f.sbox, f.rbox);
    for (std::int32_t j = 1; j <= m.nobs; ++j) {
        wk.xlist(j) = m.fobs(1, j) + m.xoff;
        wk.ylist(j) = m.fobs(2, j) + m.yoff;
    }
    const double margin = 0.01 * std::min(f.sigma_long, f.sigma_rad);
    bounda([](double phi) { return ptom2(phi); }, margin, m.poly, maxpol);
    std::fill(m.fobs.col(1), m.fobs.col(m.nobs + 1), 0.0);

    // without a source the observer fields stay zero; the Green's function
    // then has no centroid (nor a reference direction) to be made for
    const bool source = any(lact);
    if (type == ForceType::csr_p_to_m) {
        per_source_fields(XP, IP, lact, ct, sh);
    } else if (source && green_fields(XP, IP, lact, ct, sh) != 0) {
        ierr = 1;  // on every process alike: no collective follows
        return;
    }

    parallel::accumu(m.fobs.data(), 3, m.nobs);
    if (!sh.master) return;
    // no source: zero forces, +0 whatever the process count
    if (source) ptom9(XP, ldef, F);
    else std::fill(F.words().begin(), F.words().end(), 0.0);
}

}  // namespace forces
