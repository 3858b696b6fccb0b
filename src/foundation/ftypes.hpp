// Basic value types of the shared records.
//
// The records are plain structs laid out like the program's fixed-size
// records: 4-byte logicals (true = -1, false = 0, also inside messages
// between processes), blank-padded fixed-length texts, and arrays indexed
// from 1 (or another lower bound) like the physics formulas that use them.
// Their words can be sent between processes as raw words; the large records
// derive from NoCopy so that they cannot be copied by accident.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <cassert>
#include <cstdio>
#include <cstdlib>

namespace ftypes {

// Bounds checks of the 1-based accessors: on in Debug and sanitizer builds.
#if defined(TARVEL_CHECK_BOUNDS)
[[noreturn]] inline void bounds_fail(long i, long lo, long hi) {
    std::fprintf(stderr, "index %ld outside [%ld,%ld]\n", i, lo, hi);
    std::abort();
}
#define FTYPES_CHECK(i, lo, hi) \
    do { if ((i) < (lo) || (i) > (hi)) ::ftypes::bounds_fail((i), (lo), (hi)); } while (0)
#else
#define FTYPES_CHECK(i, lo, hi) ((void)0)
#endif

// A 4-byte logical: true is stored as -1, false as 0.
struct Logical {
    std::int32_t v = 0;
    constexpr Logical() = default;
    constexpr Logical(bool b) : v(b ? -1 : 0) {}
    constexpr operator bool() const { return v != 0; }
    constexpr Logical& operator=(bool b) { v = b ? -1 : 0; return *this; }
    // Normalise a word received from elsewhere (any nonzero is true).
    static constexpr Logical from_word(std::int32_t w) { return Logical(w != 0); }
};
static_assert(sizeof(Logical) == 4);

inline constexpr Logical TRUE_L{true};
inline constexpr Logical FALSE_L{false};

// Fixed-length blank-padded text, like CHARACTER*N.
template <int N>
struct FStr {
    char c[N];
    FStr() { std::memset(c, ' ', N); }
    FStr(std::string_view s) { set(s); }  // NOLINT: implicit like an assignment
    // Assign: cut to N characters, pad with blanks.
    void set(std::string_view s) {
        std::size_t n = s.size() < std::size_t(N) ? s.size() : std::size_t(N);
        std::memcpy(c, s.data(), n);
        std::memset(c + n, ' ', N - n);
    }
    FStr& operator=(std::string_view s) { set(s); return *this; }
    // The text without its trailing blanks.
    std::string str() const {
        int l = N;
        while (l > 0 && c[l - 1] == ' ') --l;
        return std::string(c, c + l);
    }
    // Whole blank-padded comparison (trailing blanks do not matter).
    bool operator==(std::string_view s) const { return str() == FStr<N>(s).str(); }
    template <int M>
    bool operator==(const FStr<M>& o) const { return str() == o.str(); }
    static constexpr int size() { return N; }
};

// Fixed array indexed LO..HI, like a Fortran array with explicit bounds.
template <class T, int LO, int HI>
struct FArr {
    static_assert(HI >= LO);
    static constexpr int lo = LO, hi = HI, n = HI - LO + 1;
    T a[n];
    T& operator()(int i) { FTYPES_CHECK(i, LO, HI); return a[i - LO]; }
    const T& operator()(int i) const { FTYPES_CHECK(i, LO, HI); return a[i - LO]; }
    T* data() { return a; }
    const T* data() const { return a; }
    // All n elements.
    std::span<T, n> span() { return a; }
    std::span<const T, n> span() const { return a; }
    // Address of element i (for passing a slice, like a Fortran array section).
    T* at(int i) { FTYPES_CHECK(i, LO, HI + 1); return a + (i - LO); }
    const T* at(int i) const { FTYPES_CHECK(i, LO, HI + 1); return a + (i - LO); }
    void fill(const T& v) { for (auto& x : a) x = v; }
};

// 1-based array of N elements.
template <class T, int N>
using Arr1 = FArr<T, 1, N>;

// Two-dimensional array (1..N1, 1..N2) stored column by column, so that
// column j (all N1 values of one particle, say) is contiguous.
template <class T, int N1, int N2>
struct Arr2 {
    static constexpr int n1 = N1, n2 = N2;
    T a[std::size_t(N1) * std::size_t(N2)];
    T& operator()(int i, int j) {
        FTYPES_CHECK(i, 1, N1); FTYPES_CHECK(j, 1, N2);
        return a[std::size_t(j - 1) * N1 + std::size_t(i - 1)];
    }
    const T& operator()(int i, int j) const {
        FTYPES_CHECK(i, 1, N1); FTYPES_CHECK(j, 1, N2);
        return a[std::size_t(j - 1) * N1 + std::size_t(i - 1)];
    }
    // Address of column j, element 1 (j may be N2+1 for an end pointer).
    T* col(int j) { FTYPES_CHECK(j, 1, N2 + 1); return a + std::size_t(j - 1) * N1; }
    const T* col(int j) const { FTYPES_CHECK(j, 1, N2 + 1); return a + std::size_t(j - 1) * N1; }
    T* data() { return a; }
    const T* data() const { return a; }
    // All N1 x N2 elements, column after column.
    std::span<T, std::size_t(N1) * std::size_t(N2)> span() { return a; }
    std::span<const T, std::size_t(N1) * std::size_t(N2)> span() const { return a; }
};

// Base of the large shared records: they cannot be copied by accident (a
// copy of the bunch record is tens of megabytes). Still aggregates, so a
// record is zero-initialised in static storage.
struct NoCopy {
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// Value of a real setting that was not given, and of a name not given.
inline constexpr double UNDEF_REAL = -9.87654321e+301;
inline constexpr std::int32_t UNDEF_INT = 987654321;
inline constexpr const char* UNDEF_NAME = "undefined";

}  // namespace ftypes
