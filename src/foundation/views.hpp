// Views of the per-particle arrays: a span with an explicit record count and
// named fields, so that particle records, index pairs and force arrays never
// travel as bare pointers with an implied stride.
//
//   ParticleView   7 reals per particle: x, y, z [m], p [m*c], phi, theta
//                  [rad], q [C]
//   IndexView      2 integers per particle: next field boundary, word 2
//                  (always 0, travels with word 1)
//   ForceView      3 reals per particle [m*c per m of c*t]: along the
//                  horizontal direction of motion, transverse to the left of
//                  it, vertical
//   CrossingView   7 reals per field boundary: the particle state (words 1-6
//                  as in a particle record) and the c*t [m] of the crossing
//
// Records are numbered from 1, like the formulas that use them; every view
// of a const element type is a read-only view. A view does not own its
// storage: the caller's array (as a rule a fixed record) must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "foundation/ftypes.hpp"

namespace foundation {

// Fixed-width records in one contiguous array: record i (1-based) is the
// W elements starting at element (i-1)*W.
template <class T, std::size_t W>
class RecordView {
public:
    static constexpr std::size_t width = W;
    constexpr RecordView() = default;
    // n records starting at p
    constexpr RecordView(T* p, std::int32_t n) : s_(p, std::size_t(n < 0 ? 0 : n) * W) {}
    // a read-only view of a writable one
    template <class U>
        requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
    constexpr RecordView(const RecordView<U, W>& o) : s_(o.words()) {}

    // number of records
    constexpr std::int32_t size() const { return static_cast<std::int32_t>(s_.size() / W); }
    constexpr bool empty() const { return s_.empty(); }
    // word k (1..W) of record i (1..size())
    constexpr T& word(int k, std::int32_t i) const {
        FTYPES_CHECK(k, 1, static_cast<long>(W));
        FTYPES_CHECK(i, 1, size());
        return s_[std::size_t(i - 1) * W + std::size_t(k - 1)];
    }
    // the W words of record i
    constexpr std::span<T, W> record(std::int32_t i) const {
        FTYPES_CHECK(i, 1, size());
        return s_.subspan(std::size_t(i - 1) * W).template first<W>();
    }
    // all words, record after record (for messages and copies)
    constexpr std::span<T> words() const { return s_; }

protected:
    constexpr explicit RecordView(std::span<T> s) : s_(s) {}
    constexpr std::span<T> first_records(std::int32_t n) const {
        FTYPES_CHECK(n, 0, size());
        return s_.first(std::size_t(n) * W);
    }

private:
    std::span<T> s_;
};

template <class T>
class BasicParticleView : public RecordView<T, 7> {
    using Base = RecordView<T, 7>;

public:
    using Base::Base;
    constexpr BasicParticleView(const Base& b) : Base(b) {}
    constexpr BasicParticleView first(std::int32_t n) const { return Base::first_records(n); }
    constexpr T& x(std::int32_t i) const { return this->word(1, i); }
    constexpr T& y(std::int32_t i) const { return this->word(2, i); }
    constexpr T& z(std::int32_t i) const { return this->word(3, i); }
    constexpr T& p(std::int32_t i) const { return this->word(4, i); }
    constexpr T& phi(std::int32_t i) const { return this->word(5, i); }
    constexpr T& theta(std::int32_t i) const { return this->word(6, i); }
    constexpr T& q(std::int32_t i) const { return this->word(7, i); }
    // the state (words 1-6) of particle i, as the tracking moves it
    constexpr std::span<T, 6> state(std::int32_t i) const { return this->record(i).template first<6>(); }

private:
    constexpr BasicParticleView(std::span<T> s) : Base(s) {}
};

template <class T>
class BasicIndexView : public RecordView<T, 2> {
    using Base = RecordView<T, 2>;

public:
    using Base::Base;
    constexpr BasicIndexView(const Base& b) : Base(b) {}
    constexpr BasicIndexView first(std::int32_t n) const { return Base::first_records(n); }
    // the field boundary particle i reaches next (1..nfb+1)
    constexpr T& next(std::int32_t i) const { return this->word(1, i); }
    constexpr T& word2(std::int32_t i) const { return this->word(2, i); }

private:
    constexpr BasicIndexView(std::span<T> s) : Base(s) {}
};

template <class T>
class BasicForceView : public RecordView<T, 3> {
    using Base = RecordView<T, 3>;

public:
    using Base::Base;
    constexpr BasicForceView(const Base& b) : Base(b) {}
    constexpr BasicForceView first(std::int32_t n) const { return Base::first_records(n); }
    constexpr T& along(std::int32_t i) const { return this->word(1, i); }
    constexpr T& left(std::int32_t i) const { return this->word(2, i); }
    constexpr T& vert(std::int32_t i) const { return this->word(3, i); }

private:
    constexpr BasicForceView(std::span<T> s) : Base(s) {}
};

template <class T>
class BasicCrossingView : public RecordView<T, 7> {
    using Base = RecordView<T, 7>;

public:
    using Base::Base;
    constexpr BasicCrossingView(const Base& b) : Base(b) {}
    constexpr std::span<T, 6> state(std::int32_t i) const { return this->record(i).template first<6>(); }
    // c*t [m] at which boundary i is crossed
    constexpr T& ct(std::int32_t i) const { return this->word(7, i); }
};

using ParticleView = BasicParticleView<double>;
using ConstParticleView = BasicParticleView<const double>;
using IndexView = BasicIndexView<std::int32_t>;
using ConstIndexView = BasicIndexView<const std::int32_t>;
using ForceView = BasicForceView<double>;
using ConstForceView = BasicForceView<const double>;
using CrossingView = BasicCrossingView<double>;

// Views of the first n columns of a fixed record array (one column per
// particle or boundary).
template <int N>
ParticleView particles(ftypes::Arr2<double, 7, N>& a, std::int32_t n) { return {a.data(), n}; }
template <int N>
IndexView indices(ftypes::Arr2<std::int32_t, 2, N>& a, std::int32_t n) { return {a.data(), n}; }
template <int N>
ForceView forces_of(ftypes::Arr2<double, 3, N>& a, std::int32_t n) { return {a.data(), n}; }

// The particle state: the first six words of a particle record.
using State = std::span<double, 6>;

}  // namespace foundation
