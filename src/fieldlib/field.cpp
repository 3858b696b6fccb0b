// The entry of the field library.
#include <cmath>

#include "fieldlib/fldint.hpp"
#include "lattice/pthgen.hpp"

namespace fieldlib {

void field(double t, const double* r_in, double gamma, const double* e, double* dwb) {
    // 1.-3. settings, path cache, profile
    finit("check", 0.0);
    pthini();
    lamini(setup.q0, setup.sigmat, setup.xnsigt);
    // 4. the path point nearest to the observer
    V3 r;
    for (int i = 1; i <= 3; ++i) r(i) = r_in[i - 1];
    fsmini(r, acclim.Slow, acclim.Shigh, acclim.relacc * 1e-12);
    // 5. flags of the observation event
    fzdata.notalman = setup.notalman;
    fzdata.nogamma2 = setup.nogamma2;
    fznear.extract = setup.onedpoleex;
    // 6. the path there
    double s, d, beta0;
    PathPoint p;
    fsmget(s, d, p, beta0);
    V3 EXYZ2;
    for (int i = 1; i <= 3; ++i) EXYZ2(i) = p.tangent(i);
    const double gamma0 = p.gamma();
    // 7. the bunch and its images
    W15 W;
    fldmir(t, r, gamma0, EXYZ2, W, setup.hc, xxtmp.hmax, setup.zsymmetry);
    // 8. from the co-moving to the actual test particle
    const double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
    const double u1 = beta * e[0] - beta0 * EXYZ2(1);
    const double u2 = beta * e[1] - beta0 * EXYZ2(2);
    const double u3 = beta * e[2] - beta0 * EXYZ2(3);
    W(1) += u2 * W(6) - u3 * W(5);
    W(2) += u3 * W(4) - u1 * W(6);
    W(3) += u1 * W(5) - u2 * W(4);
    // 9.
    for (int k = 1; k <= 14; ++k) dwb[k - 1] = W(k);
}

void setpth(std::span<const double, 7> part, std::int32_t ifb, std::int32_t nfb, double ct, double p0) {
    lattice::setpth(part, ifb, nfb, ct, p0);
    pthlim();
}

void pthlim() {
    pthini();
    const auto& P = lattice::pthcom;
    finit("Slow", P.Slow);
    finit("Shigh", P.Shigh);
    finit("sstpma", P.sstpma);
    finit("Rintma", P.Rintma);
}

}  // namespace fieldlib
