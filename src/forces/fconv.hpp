// Discrete convolution of a wake with a line current, directly or through a
// fast Fourier transform, with one contract:
//   c(i) = fac * sum over k of a(k) b(i - k), over every k with both
//   factors defined, for i = ic1 .. ic1 + c.size() - 1,
// where a(k) = a[k - ka1] and b(j) = b[j - jb1] (0 outside their spans).
#pragma once

#include <span>

namespace forces {

// Work storage of the transform: two real arrays of the largest length and
// the twiddle factors of every stage (filled once, on first use).
struct FftWork {
    static constexpr int nmax = 1 << 17;  // a wake of 2 nsamax points on a current of nsamax, free of wrap-around
    double re[nmax];
    double im[nmax];
    double twr[nmax];  // stage of half-length m: exp(-i pi j/m) at m - 1 + j, j < m
    double twi[nmax];
    bool ready;        // twiddles filled
};

// Direct sum, in increasing k.
void cnvdir(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c, int ic1,
            double fac);

// Through one forward and one inverse complex transform of the two real
// series packed as one complex series (zero-padded to a power of two large
// enough that the wanted outputs are free of wrap-around). Falls back to
// the direct sum beyond FftWork::nmax points.
void cnvfft(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c, int ic1,
            double fac, FftWork& fw);

// The cheaper of the two for these sizes: the direct sum for short series.
void cnvbest(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c,
             int ic1, double fac, FftWork& fw);

}  // namespace forces
