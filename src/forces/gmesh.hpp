// The records of the mesh models and the Green's-function mesh.
//
// Mesh    the observers and boxes of an evaluation and the stamp of the
//         stored Green's function (ctgreen, lgreen: the run-state transfer
//         sends these two to the slaves, gmeshi drops the stored function);
// Green   the stored Green's function:
//   Greenc  its source and what it was computed for (and the evaluator
//           that replaces the field library in tests);
//   Greenm  its samples with their column layout;
//   Greens  the column and chunk bookkeeping, with the column cells that
//           the source-observer pairs of each process reach.
//
// They belong to the models' work (MeshWork of force3_work.hpp, in the
// ModelWork the forces layer is given), which starts zero-filled (the
// samples are about 200 MB at full capacity, the observers about 20 MB, the
// bookkeeping about 10 MB); every function here is given the records it
// works on. An evaluation touches only the entries of its observers, boxes,
// columns and samples, so a small run stays small in memory, and a run
// without the mesh models touches none. The records cannot be copied.
//
// The mesh: columns of samples over the region of the reference source's
// frame that the Green's function must cover, dense near the source and
// near the fronts of past curvature changes of its design path; processed
// in chunks of fewer than maxgre samples.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "lattice/pthgen.hpp"

namespace forces {

inline constexpr int maxpol = 20;                  // vertices of the observer and region polygons
inline constexpr int maxhlp = 100;                 // near columns
inline constexpr int maxcol = cap::maxgre / 3;     // columns: xg holds x, lower and upper limits
inline constexpr int nbucket = 1000;               // buckets of the column lookup table
inline constexpr int maxfin = lattice::maxchg + 1; // fine intervals: the central one and one per row

using Polygon = ftypes::Arr2<double, 2, maxpol>;
using Pt2 = std::array<double, 2>;

// An evaluator of the reference source's field at z = (x, y) of its own
// frame [m]: w = (E_x, E_y), cbz = c*B_z [V/m] per unit charge.
using GreenEvaluator = void (*)(const Pt2& z, Pt2& w, double& cbz);

struct Mesh : ftypes::NoCopy {
    Polygon poly;            // observer polygon (x, y) relative to (xoff, yoff) [m]
    double xorig, yorig;     // origin of the box frame: particle 1's position [m]
    double cosref, sinref;   // direction of the box frame's u axis (particle 1's azimuth)
    double gamref;           // Lorentz factor of particle 1
    double betref;           // speed of particle 1 [c]
    double phiref;           // azimuth in which the observer fields are expressed [rad]
    // per observer: its position (x - xoff, y - yoff, 0) [m] while the
    // observers are built, then its field (along phiref, to its left, c*B)
    // [V/m] times the force scale
    ftypes::Arr2<double, 3, cap::maxprt> fobs;
    double xoff, yoff;       // particle 1's position, subtracted from the observers [m]
    double ctgreen;          // c*t [m] at which the stored Green's function was computed
    double umin, umax, vmin, vmax;  // extent of the box grid in the box frame [m]
    double du, dv;           // box length along u and width along v [m]
    ftypes::Arr1<std::int32_t, cap::maxprt> ipt;  // per particle: its box, else its observer
    std::int32_t nobs;       // observers
    // per box: (1) grid number of its lower-left corner, (2)..(5) observers
    // at its corners (u,v), (u+1,v), (u,v+1), (u+1,v+1). 64-bit: grid numbers
    // run up to nu1*nv1, beyond 32 bits for a long bunch of short boxes.
    ftypes::Arr2<std::int64_t, 5, cap::maxprt> ibox;
    std::int32_t nbox;       // boxes
    std::int32_t nu1, nv1;   // grid lines along u and v (boxes + 1)
    ftypes::Arr1<ftypes::Logical, cap::maxprt> linbox;  // per particle: interpolated from its box
    ftypes::Logical lgreen;  // the stored Green's function is valid
};

// What a stored Green's function was computed for, besides its time and
// the speed of its test particle (betgrn).
struct GreenFor {
    double sigma_long, sigma_rad, sigma_vert;  // effective sub-bunch sizes [m]
    double shield, shield_max;                 // plate distance, largest image distance [m]
    double rintmi;                             // smallest distance of the field library [m]
    std::int32_t ishape;                       // 2 sphere, 3 ellipsoid
    bool operator==(const GreenFor&) const = default;
    // The settings that only a new forces layer changes: a function made
    // for other plates, another shape or another rintmi is not reused. The
    // sizes may differ (relative sizes follow the bunch between the
    // repeated evaluations of a time step): a reused function keeps those
    // it was made with.
    bool same_model(const GreenFor& o) const {
        return shield == o.shield && shield_max == o.shield_max && rintmi == o.rintmi && ishape == o.ishape;
    }
};

struct Greenc : ftypes::NoCopy {
    Polygon poly;                          // region to cover, in the centroid's frame [m]
    double tgrn;                           // time of the evaluation on the path clock [s]
    double betgrn;                         // betref when the function was computed [c]
    double gamgrn;                         // Lorentz factor of the test particle
    ftypes::Arr1<double, 3> etgrn;         // direction of motion of the test particle (path frame)
    ftypes::Arr1<double, 7> xggre;         // the centroid's particle record (unit charge)
    std::int32_t iggre;                    // the centroid's next field boundary
    double phigrn;                         // phiref when the function was computed [rad]
    ftypes::Arr1<double, 2> eref;          // cos, sin of phigrn
    GreenFor made_for;                     // sizes and settings of the computing pass
    GreenEvaluator evaluator;              // in place of the field library when set (tests)
};

// Sample and bookkeeping numbers that count over the whole mesh (noff,
// ngreen, jn) are 64-bit: a large region of fine columns holds more than
// 2^31 samples in all, processed chunk by chunk. Local numbers within a
// chunk stay below maxgre.
struct Greenm : ftypes::NoCopy {
    // per sample of the chunk, once evaluated (req): its field (E_x, E_y,
    // c*B_z) [V/m] per unit charge; its position comes from the column layout
    ftypes::Arr2<double, 3, cap::maxgre> g;
    // column positions x(1..nx), then the lower y limits, then the upper [m]
    ftypes::Arr1<double, cap::maxgre> xg;
    ftypes::Arr2<double, 4, maxhlp> yn;            // break points in y of the near columns [m]
    std::int32_t i1gre;                            // first sample of the chunk (1)
    std::int32_t n2gre;                            // samples in the chunk
    ftypes::Arr1<std::int64_t, cap::maxgre + 1> noff;  // samples before column i
    std::int64_t ngreen;                           // samples in all
    std::int32_t jn1, jn2;                         // first and last near column
    ftypes::Arr2<std::int64_t, 4, maxhlp> jn;      // global sample numbers at the break points
    ftypes::Arr1<ftypes::Logical, cap::maxgre> req;  // per sample: required; once evaluated, valid
    // every flag set since the chunk's reset lies within req_lo..req_hi, so
    // that the reset clears no more (a sparse mesh sets a few flags per chunk)
    std::int32_t req_lo, req_hi;
};

// The column cells that the source-observer pairs of each process fall
// into, known on every process for a mesh of several chunks (found once per
// Green's function, at its first marking): a chunk that the pairs of no
// process reach is not marked, and one that the pairs of one process alone
// reach is left to that process, which evaluates the samples it reads as
// it reads them (as a single process does); neither needs an exchange. Each
// process finds the cells of its own pairs; the lists are joined. With more
// than join_cells in all, every chunk is marked and shared.
inline constexpr std::int32_t join_cells = 1 << 20;

struct GreenCells {
    ftypes::Arr1<std::uint8_t, maxcol> hit;          // per cell: a pair of this process
    ftypes::Arr1<std::int32_t, join_cells> own;      // this process's cells, ascending
    ftypes::Arr1<std::int32_t, join_cells> all;      // every process's, in process order
    ftypes::Arr1<std::int32_t, cap::maxproc> count;  // per process: its cells
    bool listed;                                     // all holds them (not too many)
    bool known;                                      // found for the Green's function at hand
};

// One equally spaced run of samples of a column, as the look-ups read it:
// span samples from global sample base on, the first at y0, step [m] apart
// (the run's length over span). A coarse column is one run; a near column
// three.
struct ColumnRun {
    std::int64_t base, span;
    double y0, step;
};

struct Greens : ftypes::NoCopy {
    std::int32_t nx;          // columns
    std::int32_t nxy1, nxy2;  // start of the lower (nx) and upper (2 nx) limits in xg
    std::int32_t ic1, ic2;    // first and last column of the chunk
    std::int64_t ioff;        // global number of the sample before the chunk's first
    ftypes::Arr1<std::int32_t, nbucket> ib;  // bucket table of the column positions
    GreenCells cells;         // the cells of the pairs of every process
    // the runs of the chunk's columns, laid out once per chunk (gmchnk):
    // per coarse column ic1..ic2, and per near column its three
    ftypes::Arr1<ColumnRun, maxcol> runs;
    ftypes::Arr2<ColumnRun, 3, maxhlp> near_runs;
};

// The stored Green's function.
struct Green : ftypes::NoCopy {
    Greenc greenc;
    Greenm greenm;
    Greens greens;
};

// The curvature-change rows of the reference source's design path, oldest
// first (lattice::pthchg): c*t relative to now [m], x, y [m] in the source's
// frame, curvature from that point on [1/m].
using ChgRows = std::span<const lattice::PthChg>;

// The sizes a mesh is laid out for: the effective sigma_long and sigma_rad
// of the evaluation [m] and the plate distance shield [m] (0 = free space);
// where sigma_long comes from, as the lines of a mesh that does not fit say
// it after its value (" (sigma_file)", " (relative_long x rms length)" or
// nothing).
struct MeshSizes {
    double sigma_long;
    double sigma_rad;
    double shield;
    std::string_view sigma_long_from = {};
};

// Lays out the next chunk of the mesh of g. With lfirst, first the whole
// column layout over poly of g.greenc (columns, near columns, column
// limits, sample counts; the curvature-change rows go to gmeshs; the fine
// columns and the band of fine samples of the near columns on the lattice
// anchored at the source), then the first chunk; otherwise the chunk after
// the current one, every sample's req false (its position follows from the
// layout: gmpos). lnext := more chunks follow. A layout that does not fit
// the arrays ends the job (gmeshe).
void gmesh0(Green& g, bool lfirst, bool& lnext, const MeshSizes& sz, ChgRows chg);

// The chunk step of gmesh0 alone, on the layout in g made for the sizes
// sz: the first chunk with lfirst, else the next one. A chunk holds fewer
// than limit samples (at most maxgre, the capacity of g.greenm.g).
void gmchnk(Green& g, bool lfirst, bool& lnext, const MeshSizes& sz, std::int64_t limit = cap::maxgre);

// The number of chunks of the whole layout in g, as gmchnk splits it.
std::int64_t gmnchk(const Green& g);

// Column positions into xg(1..nx) and nx of g, for its region poly. The
// fine intervals [sra(k), srb(k)] with their largest y step rmax(k), k =
// 1..n, sorted by sra and not merged, go to the caller (capacity maxfin
// each). Status 1 when the columns would not fit.
[[nodiscard]] int gmeshs(Green& g, double sigma, double shield, ChgRows chg, std::span<double> sra,
                         std::span<double> srb, std::span<double> rmax, int& n);

// Appends grid values after x[n-1] (the last existing value) up to xend;
// x.size() is the capacity. Uniform with neither flag (steps of at most
// hmax); otherwise steps from h0 growing by q up to hmax, smallest at the
// start (lgrow), at the end (lshrink) or at both ends. Status 1, with
// nothing written and n unchanged, when the values would not fit.
[[nodiscard]] int gmeshf(std::span<double> x, int& n, double xend, double h0, double hmax,
                         double q, bool lgrow, bool lshrink);

// Appends the fine run after x[n-1] (the last existing value) up to xend:
// the lattice points k*h strictly inside, none nearer than 1% of h to
// either end, then xend. Status 1, with nothing written and n unchanged,
// when the values would not fit (x.size() is the capacity).
[[nodiscard]] int gmeshk(std::span<double> x, int& n, double xend, double h);

// Smallest and largest y of the region polygon (poly of g.greenc) over
// x1 <= x <= x2. Where no edge spans x1 or x2 (a polygon degenerate in x),
// the polygon's extreme y stands in.
void gmmima(const Green& g, double x1, double x2, double& ylo, double& yhi);

// Fatal exit of the meshing: logs "error exit: meshing of green's function"
// and "array size 'maxgre' not sufficient" and ends the whole job. The
// meshing logs before it what does not fit, with sigma_long, its value and
// the sigma_long that would fit.
[[noreturn]] void gmeshe();

// Position [m] of local sample l of the current chunk of g, from the
// column layout (whatever the samples hold).
void gmpos(const Green& g, std::int32_t l, double& x, double& y);

// y [m] of global sample gs of column i of g, from the column layout.
double gmcoly(const Green& g, std::int32_t i, std::int64_t gs);

// Sample location inside column i (of the current chunk of g) at height y:
// the point lies between the global samples j and j + 1 at fraction f.
void gmcolj(const Green& g, std::int32_t i, double y, std::int64_t& j, double& f);

// Bucket table ib (nb = ib.size() buckets) of the ascending grid x.
void fmesh1(std::span<const double> x, std::span<std::int32_t> ib);

// The cell i (1-based) with x(i) <= v < x(i+1), or i = n for v = x(n);
// lin := x(1) <= v <= x(n) (i is not set otherwise). A grid that is not
// ascending stops the job with "fmesh2: there is something wrong".
void fmesh2(std::span<const double> x, std::span<const std::int32_t> ib, double v, std::int32_t& i,
            bool& lin);

// Sets the flag of local sample l of g (required, or once evaluated valid).
inline void set_req(Green& g, std::int32_t l) {
    Greenm& G = g.greenm;
    G.req(l) = true;
    if (l < G.req_lo) G.req_lo = l;
    if (l > G.req_hi) G.req_hi = l;
}

// The run of column i of the chunk of g (ic1 <= i <= ic2) that holds
// height y: of a near column, the first run below yn(2), the second below
// yn(3), else the third.
inline const ColumnRun& chunk_run(const Green& g, std::int32_t i, double y) {
    const Greenm& greenm = g.greenm;
    if (i < greenm.jn1 || i > greenm.jn2) return g.greens.runs(i);
    const std::int32_t k = i - greenm.jn1 + 1;
    const int m = y < greenm.yn(2, k) ? 1 : (y < greenm.yn(3, k) ? 2 : 3);
    return g.greens.near_runs(m, k);
}

// The samples j, j + 1 of run g around height y and the fraction f of the
// way from j to j + 1; above the run, its last two samples and f = 1.
inline void run_at(const ColumnRun& g, double y, std::int64_t& j, double& f) {
    double t = g.step > 0.0 ? (y - g.y0) / g.step : 0.0;
    if (!(t > 0.0)) t = 0.0;
    // trunc(t) for t >= 0: below 2^52 through the integer (exact), above it
    // t is whole already
    const double it = t < 4503599627370496.0 ? double(static_cast<std::int64_t>(t)) : t;
    if (it >= double(g.span)) {
        j = g.base + g.span - 1;
        f = 1.0;
        return;
    }
    j = g.base + static_cast<std::int64_t>(it);
    f = t - it;
}

}  // namespace forces
