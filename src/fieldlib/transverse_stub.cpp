// Temporary stand-in for the transverse-size models until they are merged:
// the settings record and its setter; the models themselves stop the job.
#include <cmath>

#include "fieldlib/transverse.hpp"
#include "run/fortran_format.hpp"
#include "run/platform.hpp"

namespace fieldlib {

Fcdata fcdata;

void fcoini(std::string_view action_in, double value) {
    std::string_view action = action_in;
    while (!action.empty() && action.back() == ' ') action.remove_suffix(1);
    auto& F = fcdata;
    if (action == "method") F.method = static_cast<std::int32_t>(value < 0 ? value - 0.5 : value + 0.5);
    else if (action == "sigmaz") F.sigmaz = value;
    else if (action == "sigmar") F.sigmar = value;
    else if (action == "ex") F.ex = value;
    else if (action == "ey") F.ey = value;
    else if (action == "ez") F.ez = value;
    else {
        run::stdout_line(" error in fld_conv/fcoini: unknown action");
        run::fatal_stop(run::ld_line({action_in}));
    }
    if (F.method == 3 && (action == "method" || action == "sigmaz" || action == "sigmar")) {
        F.lzgtr = F.sigmaz > F.sigmar;
        F.sdiff = std::sqrt(std::fabs(F.sigmaz * F.sigmaz - F.sigmar * F.sigmar));
        F.smin = F.sigmaz < F.sigmar ? F.sigmaz : F.sigmar;
    }
}

void fzsp(const Fzget&, W15&) { run::fatal_stop(" transverse-size models not built"); }
void fzsp0(const Fzget&, W15&) { run::fatal_stop(" transverse-size models not built"); }
void fzsp1(const Fzget&, W15&) { run::fatal_stop(" transverse-size models not built"); }
void fzsp2(const Fzget&, W15&) { run::fatal_stop(" transverse-size models not built"); }
void fzsp3(const Fzget&, W15&) { run::fatal_stop(" transverse-size models not built"); }
double h1conv(double) { return 0.0; }
double h2conv(double) { return 0.0; }
double h3conv(double) { return 0.0; }
double chebev(double, double, const double*, int, double) { return 0.0; }
void icgral(double& I1, double& I2, double& I3, double& I4) { I1 = I2 = I3 = I4 = 0.0; }

}  // namespace fieldlib
