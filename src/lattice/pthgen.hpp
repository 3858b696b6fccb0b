// The design path: the planar trajectory of one particle, through its
// force-free crossings of every field boundary, as straight lines and
// circular arcs joined at the crossings. The path lives in the frame of the
// particle's current position (origin there, x axis along its direction);
// s is the path length, 0 at the particle. A path is a record of its own
// (Pthcom), built by setpth or pthset and read by the functions below, each
// given the path it works on: the field library queries its own path
// through `path`; the force models map their particles into and out of its
// frame with `pthtr1` and `pthtr2`.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace lattice {

struct Latcom;

// Nodes of a path: one per boundary plus the anchor point.
inline constexpr int maxpth = cap::maxlat + 1;
// Bins of the search table of s.
inline constexpr int npthbin = 100;
// Rows pthchg can write: a straight point before the first node, one row per
// segment and the end row.
inline constexpr int maxchg = maxpth + 1;

// Segments turning by less than this angle (rad) are blended linearly: a
// chosen threshold, below which the linear blend of the end tangents
// differs from the arc by at most small_turn^2/8 of the tangent's length
// (7.5e-17), less than half the rounding unit of a double.
inline constexpr double small_turn = 2.45e-8;
static_assert(small_turn * small_turn / 8.0 < 1.1102230246251565e-16);
// Arcs with |sin(kappa*L)| below this turn by nearly a multiple of pi: their
// end tangents are (anti)parallel and cannot carry the blend, which divides
// by sin(kappa*L); they are evaluated from an end tangent and its normal.
inline constexpr double half_turn_sin = 1e-3;

struct Pthcom {
    double x0, y0;        // m; lab position of the anchor particle
    double phi0;          // rad; its azimuth
    ftypes::Arr2<double, 2, 2> rot;  // lab-to-path rotation
    double gamma;         // Lorentz factor of the anchor particle
    double cbeta;         // m/s; its speed
    double s0;            // m; path length of the anchor point (0)
    double t0;            // s; time of the setpth call
    ftypes::Arr1<double, maxpth> spth;       // m; path length of node k
    // Segment k (node k to k+1): 1 start s, 2 end s (m), 3 curvature (1/m,
    // >= 0), 4 1/sin(kappa*L) of an arc blended from its end tangents (0
    // for every other segment).
    ftypes::Arr2<double, 4, maxpth - 1> seg;
    ftypes::Arr2<double, 2, maxpth> dir2;    // unit tangent at node k
    ftypes::Arr2<double, 2, maxpth> pos2;    // m; position of node k
    std::int32_t ipth0;   // the anchor node
    std::int32_t npth;    // number of nodes
    ftypes::Arr1<std::int32_t, npthbin> idx;         // first node of the s search by bin
    ftypes::Arr1<ftypes::Logical, maxpth - 1> lstr;    // segment k is straight
    ftypes::Arr1<ftypes::Logical, maxpth - 1> lsmall;  // segment k turns by less than small_turn
    // Turning sense (+1 to the left, -1 to the right) of an arc turning by
    // nearly a multiple of pi (see half_turn_sin); 0 for every other segment.
    ftypes::Arr1<double, maxpth - 1> turn;
    // Limits the field library takes from the path (m): the interval in
    // which source points are sought, the largest sub-step of the source
    // walk (the shortest boundary spacing) and the margin of the retarded
    // search below Slow.
    double Slow, Shigh, sstpma, Rintma;
    // Crossing states of the anchor particle (x, y, z, p, phi, theta, c*t)
    // at every boundary, tracked by setpth, and the nodes of the path in the
    // same layout (pthset).
    ftypes::Arr2<double, 7, cap::maxlat> crossings;
    ftypes::Arr2<double, 7, maxpth> node;
};

// Builds into P the design path of the particle record part = (x, y, -, p,
// phi, -, -) whose next boundary is ifb, at the bunch time ct (c*t, m),
// through the boundaries of the lattice L, and sets the four limits of P.
// The element fields act with their strength times p0 (reference momentum,
// m*c). A lattice without boundaries has no design path: a fatal stop.
void setpth(Pthcom& P, const Latcom& L, std::span<const double, 7> part, std::int32_t ifb, double ct, double p0);

// The same from given crossing states bp(1..7, k) = (x, y, z, p, phi,
// theta, c*t) of the boundaries k = 1..nfb (column-major, 7 reals each)
// instead of tracked ones: setpth is fbpts followed by pthset.
void pthset(Pthcom& P, const double* part, double ct, const double* bp, std::int32_t nfb);

// The values of the design path at one path length s, in the path frame:
// eleven words, in this order, named by their accessors (vector components
// numbered 1..3 like the formulas: x, y, z of the path frame).
struct PathPoint {
    std::array<double, 11> w;

    // s; time at which the anchor particle is at s, relative to the setpth call
    double& time() { return w[0]; }
    double time() const { return w[0]; }
    // Lorentz factor of the anchor particle
    double& gamma() { return w[1]; }
    double gamma() const { return w[1]; }
    // m; position
    double& pos(int i) { FTYPES_CHECK(i, 1, 3); return w[std::size_t(1 + i)]; }
    double pos(int i) const { FTYPES_CHECK(i, 1, 3); return w[std::size_t(1 + i)]; }
    // unit tangent
    double& tangent(int i) { FTYPES_CHECK(i, 1, 3); return w[std::size_t(4 + i)]; }
    double tangent(int i) const { FTYPES_CHECK(i, 1, 3); return w[std::size_t(4 + i)]; }
    // 1/m; curvature vector d(tangent)/ds, 0 on straight parts
    double& curv(int i) { FTYPES_CHECK(i, 1, 3); return w[std::size_t(7 + i)]; }
    double curv(int i) const { FTYPES_CHECK(i, 1, 3); return w[std::size_t(7 + i)]; }
    // the path is straight here (the curvature vector is exactly 0)
    bool straight() const { return w[8] == 0.0 && w[9] == 0.0 && w[10] == 0.0; }
};

// The path P at path length s (m). The path is planar: the vertical
// components are 0. Beyond the end nodes the path goes on straight.
void path(const Pthcom& P, double s, PathPoint& out);

// Lab to path frame for one particle at (x, y, z), azimuth phi, elevation
// theta, time ct (c*t, m): position pos, direction dir, time t [s] on the
// clock of the path P.
void pthtr1(const Pthcom& P, double x, double y, double z, double phi, double theta, double ct,
            std::span<double, 3> pos, std::span<double, 3> dir, double& t);

// Turns a horizontal vector v = (x, y) of the frame of P into the lab frame in place.
void pthtr2(const Pthcom& P, std::span<double, 2> v);

// One row of the curvature-change list.
struct PthChg {
    double ct;     // m; c*t at which the anchor particle reaches the point, relative to now
    double x, y;   // m; path frame
    double kappa;  // 1/m; curvature of the path from that point on
};

// The points where the curvature of the path P changes, in order; n rows
// are counted (one more may be written). Status 0; 1 when rows cannot hold
// npth + 1 rows (nothing is written).
[[nodiscard]] int pthchg(const Pthcom& P, std::span<PthChg> rows, std::int32_t& n);

// The sharpest bend of the path P over the path lengths s_lo..s_hi (m): the
// largest curvature of the segments that overlap that stretch, and the path
// lengths where the arc of that curvature begins and ends (its neighbouring
// segments of the same curvature, as an anchor inside a bend splits it,
// taken with it). kappa 0 where the stretch is straight.
struct PathBend {
    double kappa;           // 1/m
    double s_begin, s_end;  // m
};
PathBend sharpest_bend(const Pthcom& P, double s_lo, double s_hi);

// Interpolation coefficients of one segment seg(1..4) at s, blending the end
// tangents dir_a, dir_b: position from the start node C(1)*dir_a +
// C(2)*dir_b, from the end node C(3)*dir_a + C(4)*dir_b, tangent C(5)*dir_a +
// C(6)*dir_b, curvature C(7)*dir_a + C(8)*dir_b. An arc's coefficients carry
// seg(4) = 1/sin(kappa*L); arcs turning by nearly a multiple of pi (turn /= 0)
// have none and are not evaluated through here.
void pthcof(double s, const double* seg, double* C, bool lstr, bool lsmall);

}  // namespace lattice
