// Observers of the mesh models: the observation boxes and their corners,
// the interpolation of the observer fields back to the particles, and the
// convex polygons around the observers and around the region the Green's
// function must cover.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>

#include "forces/gmesh.hpp"
#include "forces/model.hpp"
#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace forces {

// Work storage of ptom1 (touched only up to the particle count): first per
// particle its box key and its number, then per box corner the box number
// and the corner's grid number. 64-bit like the grid numbers.
struct BoxSort : ftypes::NoCopy {
    ftypes::Arr1<std::int64_t, cap::maxprt> idxbox;
    ftypes::Arr1<std::int64_t, cap::maxprt> idxptc;
};

// Builds the observers into mesh (positions in fobs relative to particle 1).
// lmesh false: every receiving particle (ldef) is an observer, no log line.
// lmesh true: the receiving particles are binned into boxes of sbox*ssig by
// rbox*rsig [m] in particle 1's frame; a box of 4 or more particles is
// replaced by its corners (shared corners once), the other particles are
// observers themselves; logs "boxes =", " e_points=", " p_points=".
// A bunch without spread along u or v (less than one box), or so long that
// its grid would exceed 2^31 boxes along an axis, forms no box: every
// receiving particle is then an observer. sort is the work of the binning.
void ptom1(Mesh& mesh, foundation::ConstParticleView P, double ssig, double rsig, Flags ldef, bool lmesh,
           double sbox, double rbox, BoxSort& sort);

// Fills F(1..3, k) of every particle from the observer fields in fobs of mesh:
// bilinear from the corners for a particle in a box, its own observer
// otherwise, turned into the particle's frame of motion; zero for a particle
// that receives no force. Master only.
void ptom9(const Mesh& mesh, foundation::ConstParticleView P, Flags ldef, foundation::ForceView F);

// The integer key sort: keys ascending in place, carry permuted with them.
void isort2(std::span<std::int64_t> key, std::span<std::int64_t> carry);

// A support function h(phi): the largest projection x*cos(phi) + y*sin(phi)
// of a point set [m]. Refers to the callable it was made from, which must
// outlive it.
class SupportFn {
public:
    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, SupportFn>)
    SupportFn(F&& f)  // NOLINT: implicit, so a lambda can be passed directly
        : obj_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
          call_([](void* o, double phi) {
              return (*static_cast<std::remove_reference_t<F>*>(o))(phi);
          }) {}
    double operator()(double phi) const { return call_(obj_, phi); }

private:
    void* obj_;
    double (*call_)(void*, double);
};

// Convex polygon of n vertices (4 <= n <= 20), counter-clockwise, around a
// point set given by its support function, each edge on a support line
// pushed out by margin [m]. Degenerate sets (one point, collinear points)
// give coincident vertices where no corner can be cut, never NaN.
void bounda(SupportFn func, double margin, Polygon& poly, int n);

// Support function of the observers of mesh (fobs holding positions); 0,
// the position of particle 1, when there is no observer.
double ptom2(const Mesh& mesh, double phi);

// The support of no particle: a finite stand-in for minus infinity as the
// start of a maximum over the particles (any support beats it), which a
// region of no active particle keeps.
inline constexpr double no_support = -7.777e+300;

// Support function of the region the Green's function must cover: the
// observer polygon (poly of mesh) seen from every active source in that
// source's frame. no_support when no particle is active.
double gtom2(const Mesh& mesh, foundation::ConstParticleView P, Flags lact, double phi);
// The same over the particles i1..i2 alone, cphi[i-1] and sphi[i-1] the
// cosine and sine of particle i's azimuth: the support of particles
// 1..npart is the larger (the first of equals) of those of consecutive
// blocks, bit for bit.
double gtom2(const Mesh& mesh, foundation::ConstParticleView P, Flags lact, double phi, std::int32_t i1,
             std::int32_t i2, const double* cphi, const double* sphi);

}  // namespace forces
