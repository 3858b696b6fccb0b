#include "bunch/monitor.hpp"

namespace bunch {

Moncom moncom;
Mo2com mo2com;

void inimon(std::int32_t& ierr) {
    for (int k = 1; k <= cap::maxmon; ++k) moncom.moact(k) = false;
    ierr = 0;
}

void lymoni(std::int32_t& ierr) { ierr = 1; }
void monito(const std::string&, std::int32_t, std::int32_t& ierr) { ierr = 1; }
void monit2(std::int32_t, std::int32_t, std::int32_t, std::int32_t, bool, std::int32_t& ierr) {
    ierr = 1;
}
void lyomon(std::int32_t& ierr) { ierr = 1; }
void inimo2(std::int32_t& ierr) { ierr = 0; }
void omoni0(double, std::int32_t& ierr) { ierr = 0; }
void omonit(std::int32_t& ierr) { ierr = 0; }
void eximon(std::int32_t, std::int32_t& ierr) { ierr = 0; }
std::int32_t omofai() { return 0; }
std::string monsuf(const std::string& name, std::int32_t) { return name; }
bool mogrid(std::int32_t, double) { return false; }

}  // namespace bunch
