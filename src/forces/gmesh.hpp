// Green's-function mesh of the mesh models: the columns of samples that
// cover the region of the reference source's frame, and their chunks.
#pragma once

#include <cstdint>
#include <span>

#include "forces/meshgreen.hpp"
#include "include/ftypes.hpp"
#include "include/mesh.hpp"

namespace forces {

inline constexpr int maxchg = 102;         // curvature-change rows of a design path
inline constexpr int maxfin = maxchg + 1;  // fine intervals: the central one and one per row

// The curvature-change rows of the reference source's design path, oldest
// first: per row c*t relative to now [m], x, y [m] (the source's frame) and
// the curvature from that point on [1/m]; 4 reals a row, n rows.
class ChgView {
public:
    ChgView() = default;
    ChgView(std::span<const double> rows, std::int32_t n) : r_(rows.data()), n_(n) {
        FTYPES_CHECK(long(rows.size()), 4L * n, long(rows.size()));
    }
    std::int32_t size() const { return n_; }
    double ct(std::int32_t r) const { return w(1, r); }
    double x(std::int32_t r) const { return w(2, r); }
    double y(std::int32_t r) const { return w(3, r); }
    double kappa(std::int32_t r) const { return w(4, r); }

private:
    double w(int i, std::int32_t r) const {
        FTYPES_CHECK(r, 1, n_);
        return r_[std::size_t(r - 1) * 4 + std::size_t(i - 1)];
    }
    const double* r_ = nullptr;
    std::int32_t n_ = 0;
};

// The sizes a mesh is laid out for: the effective sigma_long and sigma_rad
// of the evaluation [m] and the plate distance shield [m] (0 = free space).
struct MeshSizes {
    double sigma_long;
    double sigma_rad;
    double shield;
};

// Drops the stored Green's function: ctgreen := 0, lgreen := false.
void gmeshi();

// Lays out the next chunk of the mesh. With lfirst, first the whole column
// layout over poly of greenc (columns, near columns, column limits, sample
// counts; the curvature-change rows go to gmeshs), then the first chunk;
// otherwise the chunk after the current one. Writes the positions of the
// chunk's samples into g, with req false. lnext := more chunks follow.
// A layout that does not fit the arrays ends the job (gmeshe).
void gmesh0(bool lfirst, bool& lnext, const MeshSizes& sz, const ChgView& chg);

// The chunk step of gmesh0 alone, on the layout in greenm/greens: the first
// chunk with lfirst, else the next one. A chunk holds fewer than limit
// samples (at most maxgre, the capacity of g).
void gmchnk(bool lfirst, bool& lnext, std::int64_t limit = cap::maxgre);

// Column positions into xg(1..nx) and nx, for the region poly of greenc.
// The fine intervals [sra(k), srb(k)] with their largest y step rmax(k),
// k = 1..n, sorted by sra and not merged, go to the caller (capacity
// maxfin each). Writes the region and the rows to the "green" online
// monitors (gmshd1). Status 1 when the columns would not fit.
[[nodiscard]] int gmeshs(double sigma, double shield, const ChgView& chg, std::span<double> sra,
                         std::span<double> srb, std::span<double> rmax, int& n);

// Appends grid values after x[n-1] (the last existing value) up to xend;
// x.size() is the capacity. Uniform with neither flag (steps of at most
// hmax); otherwise steps from h0 growing by q up to hmax, smallest at the
// start (lgrow), at the end (lshrink) or at both ends. Status 1, with
// nothing written and n unchanged, when the values would not fit.
[[nodiscard]] int gmeshf(std::span<double> x, int& n, double xend, double h0, double hmax,
                         double q, bool lgrow, bool lshrink);

// Smallest and largest y of the region polygon (poly of greenc) over
// x1 <= x <= x2. Where no edge spans x1 or x2 (a polygon degenerate in x),
// the polygon's extreme y stands in.
void gmmima(double x1, double x2, double& ylo, double& yhi);

// Fatal exit of the meshing: logs "error exit: meshing of green's function"
// and "array size 'maxgre' not sufficient" and ends the whole job.
[[noreturn]] void gmeshe();

// Position [m] of local sample l of the current chunk, from the column
// layout (whatever g holds).
void gmpos(std::int32_t l, double& x, double& y);

// y [m] of global sample gs of column i, from the column layout.
double gmcoly(std::int32_t i, std::int64_t gs);

// Sample location inside column i at height y: the point lies between the
// global samples j and j + 1 at fraction f.
void gmcolj(std::int32_t i, double y, std::int64_t& j, double& f);

}  // namespace forces
