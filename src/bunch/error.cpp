#include "bunch/error.hpp"

#include <cmath>

namespace bunch {

namespace {
// Word k (1..7) of particle i (1..n).
inline double w(foundation::ConstParticleView p, int k, int i) { return p.word(k, i); }
}  // namespace

void rmspar(foundation::ConstParticleView p, std::span<const ftypes::Logical> lact, double& su,
            double& sv, double& sz) {
    const std::int32_t n = p.size();
    su = sv = sz = 0.0;
    if (n < 1) return;
    const double c = std::cos(w(p, 5, 1));
    const double s = std::sin(w(p, 5, 1));
    const double x1 = w(p, 1, 1), y1 = w(p, 2, 1), z1 = w(p, 3, 1);
    double sw = 0.0, swu = 0.0, swv = 0.0, swz = 0.0, swu2 = 0.0, swv2 = 0.0, swz2 = 0.0;
    for (int i = 1; i <= n; ++i) {
        if (!lact[std::size_t(i - 1)]) continue;
        const double dx = w(p, 1, i) - x1;
        const double dy = w(p, 2, i) - y1;
        const double dz = w(p, 3, i) - z1;
        const double u = c * dx + s * dy;
        const double v = -s * dx + c * dy;
        const double q = w(p, 7, i);
        sw += q;
        swu += q * u;
        swv += q * v;
        swz += q * dz;
        swu2 += q * (u * u);
        swv2 += q * (v * v);
        swz2 += q * (dz * dz);
    }
    // No active particle, or active charges cancelling: no defined size.
    if (sw == 0.0) return;
    auto size = [sw](double s1, double s2) {
        const double var = s2 / sw - (s1 / sw) * (s1 / sw);
        return var > 0.0 ? std::sqrt(var) : 0.0;
    };
    su = size(swu, swu2);
    sv = size(swv, swv2);
    sz = size(swz, swz2);
}

void error1(foundation::ConstParticleView p1, foundation::ConstParticleView p2,
            std::span<const ftypes::Logical> lact, double& e1, double& e2) {
    const std::int32_t n = p2.size();
    e1 = e2 = 0.0;
    if (n < 1) return;
    const double c = std::cos(w(p2, 5, 1));
    const double s = std::sin(w(p2, 5, 1));
    const double x1 = w(p2, 1, 1), y1 = w(p2, 2, 1);
    double cnt = 0.0, su = 0.0, su2 = 0.0, sp = 0.0, sp2 = 0.0, sdu2 = 0.0, sdv2 = 0.0,
           sdp2 = 0.0;
    for (int i = 1; i <= n; ++i) {
        if (!lact[std::size_t(i - 1)]) continue;
        cnt += 1.0;
        const double u = c * (w(p2, 1, i) - x1) + s * (w(p2, 2, i) - y1);
        const double pp = w(p2, 4, i);
        const double dx = w(p2, 1, i) - w(p1, 1, i);
        const double dy = w(p2, 2, i) - w(p1, 2, i);
        const double du = c * dx + s * dy;
        const double dv = -s * dx + c * dy;
        const double dp = pp - w(p1, 4, i);
        su += u;
        su2 += u * u;
        sp += pp;
        sp2 += pp * pp;
        sdu2 += du * du;
        sdv2 += dv * dv;
        sdp2 += dp * dp;
    }
    // No active particle: nothing to compare.
    if (cnt == 0.0) return;
    auto sigma = [cnt](double s1, double s2) {
        const double m = s1 / cnt;
        return (m * m <= s2 / cnt) ? std::sqrt(s2 / cnt - m * m) : 0.0;
    };
    const double sgu = sigma(su, su2);
    const double sgp = sigma(sp, sp2);
    if (sgu <= 0.0 || sgp <= 0.0) return;
    e1 = std::sqrt(sdu2 / cnt + sdv2 / cnt) / sgu;
    e2 = std::sqrt(sdp2 / cnt) / sgp;
}

}  // namespace bunch
