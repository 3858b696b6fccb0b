// Direct and FFT convolution of the projected model.
#include "forces/fconv.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "foundation/math.hpp"

namespace forces {

namespace {

constexpr double pi = 3.141592653589793;

void fill_twiddles(FftWork& fw) {
    for (int m = 1; m < FftWork::nmax; m <<= 1)
        for (int j = 0; j < m; ++j) {
            const double ang = pi * j / m;
            fw.twr[m - 1 + j] = std::cos(ang);
            fw.twi[m - 1 + j] = -std::sin(ang);
        }
    fw.ready = true;
}

// In-place radix-2 transform of re + i im (n a power of two); the inverse
// is not scaled.
void fft(double* re, double* im, int n, bool inverse, const FftWork& fw) {
    for (int i = 1, j = 0; i < n; ++i) {  // bit-reversed order
        int bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    const double sg = inverse ? -1.0 : 1.0;
    for (int m = 1; m < n; m <<= 1) {
        const double* wr = fw.twr + (m - 1);
        const double* wi = fw.twi + (m - 1);
        for (int k = 0; k < n; k += 2 * m) {
            double* ar = re + k;
            double* ai = im + k;
            double* br = re + k + m;
            double* bi = im + k + m;
            for (int j = 0; j < m; ++j) {
                const double c = wr[j], s = sg * wi[j];
                const double xr = br[j] * c - bi[j] * s;
                const double xi = br[j] * s + bi[j] * c;
                br[j] = ar[j] - xr;
                bi[j] = ai[j] - xi;
                ar[j] += xr;
                ai[j] += xi;
            }
        }
    }
}

// Wanted outputs of the linear convolution, r = i - ka1 - jb1, clipped to
// its support [0, na + nb - 2]; false when none is left.
bool wanted(std::size_t na, std::size_t nb, long long r0, std::size_t nc, long long& ra, long long& rb) {
    if (na == 0 || nb == 0 || nc == 0) return false;
    const long long lc = static_cast<long long>(na + nb) - 1;
    ra = std::max(r0, 0LL);
    rb = std::min(r0 + static_cast<long long>(nc) - 1, lc - 1);
    return ra <= rb;
}

// Smallest power of two holding both series and free of wrap-around at the
// wanted outputs.
long long fft_size(std::size_t na, std::size_t nb, long long ra, long long rb) {
    const long long lc = static_cast<long long>(na + nb) - 1;
    const long long need = std::max({rb + 1, lc - ra, static_cast<long long>(na), static_cast<long long>(nb)});
    long long n = 2;
    while (n < need) n <<= 1;
    return n;
}

}  // namespace

void cnvdir(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c, int ic1,
            double fac) {
    foundation::convo1(a, ka1, ka1 + int(a.size()) - 1, b, jb1, jb1 + int(b.size()) - 1, c, ic1,
                       ic1 + int(c.size()) - 1, 1, fac);
}

void cnvfft(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c, int ic1,
            double fac, FftWork& fw) {
    std::fill(c.begin(), c.end(), 0.0);
    const long long r0 = static_cast<long long>(ic1) - ka1 - jb1;
    long long ra = 0, rb = 0;
    if (!wanted(a.size(), b.size(), r0, c.size(), ra, rb)) return;
    // a series of zeros gives exact zeros (the transform would leave
    // rounding noise of the other series)
    auto zero = [](std::span<const double> v) { return std::all_of(v.begin(), v.end(), [](double x) { return x == 0.0; }); };
    if (zero(a) || zero(b)) return;
    const long long nl = fft_size(a.size(), b.size(), ra, rb);
    if (nl > FftWork::nmax) return cnvdir(a, ka1, b, jb1, c, ic1, fac);
    if (!fw.ready) fill_twiddles(fw);
    const int n = static_cast<int>(nl);
    double* re = fw.re;
    double* im = fw.im;
    std::fill(re, re + n, 0.0);
    std::fill(im, im + n, 0.0);
    // Both series scaled to a largest magnitude in [0.5, 1) by powers of two
    // (exact): packed as one complex series, the spectrum of the smaller one
    // would otherwise carry the rounding of the larger one (a wake of 1e14
    // V/m per C against a current of 1e2 A loses ten digits).
    auto exponent = [](std::span<const double> v) {
        double top = 0.0;
        for (double x : v) top = std::max(top, std::fabs(x));
        int e = 0;
        (void)std::frexp(top, &e);
        return e;
    };
    const int ea = exponent(a), eb = exponent(b);
    if (ea < -1000 || eb < -1000) return cnvdir(a, ka1, b, jb1, c, ic1, fac);  // (subnormal series)
    const double sa = std::ldexp(1.0, -ea), sb = std::ldexp(1.0, -eb);
    std::transform(a.begin(), a.end(), re, [sa](double x) { return x * sa; });
    std::transform(b.begin(), b.end(), im, [sb](double x) { return x * sb; });
    fft(re, im, n, false, fw);
    // spectra of the two real series from the packed one, and their product
    re[0] = re[0] * im[0];
    im[0] = 0.0;
    re[n / 2] = re[n / 2] * im[n / 2];
    im[n / 2] = 0.0;
    for (int k = 1; k < n / 2; ++k) {
        const int kn = n - k;
        const double ar = 0.5 * (re[k] + re[kn]), ai = 0.5 * (im[k] - im[kn]);
        const double br = 0.5 * (im[k] + im[kn]), bi = -0.5 * (re[k] - re[kn]);
        const double cr = ar * br - ai * bi, ci = ar * bi + ai * br;
        re[k] = cr;
        im[k] = ci;
        re[kn] = cr;
        im[kn] = -ci;
    }
    fft(re, im, n, true, fw);
    const double scale = std::ldexp(fac / n, ea + eb);
    for (long long r = ra; r <= rb; ++r) c[std::size_t(r - r0)] = scale * re[r];
}

void cnvbest(std::span<const double> a, int ka1, std::span<const double> b, int jb1, std::span<double> c,
             int ic1, double fac, FftWork& fw) {
    const long long r0 = static_cast<long long>(ic1) - ka1 - jb1;
    long long ra = 0, rb = 0;
    if (!wanted(a.size(), b.size(), r0, c.size(), ra, rb)) return std::fill(c.begin(), c.end(), 0.0);
    // products of the direct sum against butterflies of the two transforms
    const double direct = double(rb - ra + 1) * double(std::min(a.size(), b.size()));
    const double n = double(fft_size(a.size(), b.size(), ra, rb));
    if (direct <= 2.0 * n * std::log2(n) || n > FftWork::nmax) cnvdir(a, ka1, b, jb1, c, ic1, fac);
    else cnvfft(a, ka1, b, jb1, c, ic1, fac, fw);
}

}  // namespace forces
