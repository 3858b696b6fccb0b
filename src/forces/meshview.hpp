// Views of the particle arrays handed to the mesh routines: an explicit
// count and named fields instead of raw pointers with implied strides.
// Particles are numbered from 1, like the records they view.
#pragma once

#include <cstdint>
#include <span>

#include "include/ftypes.hpp"

namespace forces {

// The particle records of one evaluation: 7 reals per particle (x, y, z
// [m], p [m*c], phi, theta [rad], q [C]), particle k in words 7(k-1)..7k-1.
class PtclView {
public:
    PtclView(std::span<const double> rec, std::int32_t n) : r_(rec.data()), n_(n) {
        FTYPES_CHECK(long(rec.size()), 7L * n, long(rec.size()));
    }
    std::int32_t size() const { return n_; }
    double x(std::int32_t k) const { return w(1, k); }
    double y(std::int32_t k) const { return w(2, k); }
    double p(std::int32_t k) const { return w(4, k); }
    double phi(std::int32_t k) const { return w(5, k); }
    double q(std::int32_t k) const { return w(7, k); }

private:
    double w(int i, std::int32_t k) const {
        FTYPES_CHECK(k, 1, n_);
        return r_[std::size_t(k - 1) * 7 + std::size_t(i - 1)];
    }
    const double* r_;
    std::int32_t n_;
};

// Per-particle flags (ldef or lact), particle k at element k-1.
class FlagView {
public:
    FlagView(std::span<const ftypes::Logical> f, std::int32_t n) : f_(f.data()), n_(n) {
        FTYPES_CHECK(long(f.size()), long(n), long(f.size()));
    }
    bool operator()(std::int32_t k) const {
        FTYPES_CHECK(k, 1, n_);
        return bool(f_[k - 1]);
    }

private:
    const ftypes::Logical* f_;
    std::int32_t n_;
};

// The force array of one evaluation: 3 reals per particle (along the motion,
// horizontal transverse, vertical; m*c per metre of c*t).
class ForceView {
public:
    ForceView(std::span<double> f, std::int32_t n) : f_(f.data()), n_(n) {
        FTYPES_CHECK(long(f.size()), 3L * n, long(f.size()));
    }
    double& operator()(int c, std::int32_t k) {
        FTYPES_CHECK(c, 1, 3);
        FTYPES_CHECK(k, 1, n_);
        return f_[std::size_t(k - 1) * 3 + std::size_t(c - 1)];
    }

private:
    double* f_;
    std::int32_t n_;
};

}  // namespace forces
