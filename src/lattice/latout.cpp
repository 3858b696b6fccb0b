// The lattice summary "latout.dat": every boundary record, its section data
// and the private data of the element that made it.
#include "lattice/latout.hpp"

#include <cstdint>
#include <string>
#include <string_view>

#include "lattice/latcom.hpp"
#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"

namespace lattice {

void latout() {
    std::int32_t unit = 0, ierr = 0;
    foundation::fioout(std::string(latout_name), unit, ierr, foundation::output_kind::lattice);
    if (ierr != 0) {
        // the pool has freed the unit; the lattice itself is fine
        foundation::logpri("warning: latout.dat could not be opened");
        foundation::note_unwritten("latout.dat");
        return;
    }
    bool wok = true;
    auto put = [&](const std::string& rec) {
        if (wok && foundation::unit_write(unit, rec) != 0) wok = false;
    };
    const std::string dashes = foundation::ld_line({std::string(48, '-')});
    const auto& L = latcom;
    int pi = 0, pr = 0;  // last private integer and real already listed
    for (int i = 1; i <= L.nfb; ++i) {
        put(dashes);
        std::string mark = latmks.fbmark(i).str();
        if (auto b = mark.find(' '); b != std::string::npos) mark.resize(b);
        put(foundation::ld_line({"i=", foundation::ld_int(i), "  marker=", mark, "  duty=", L.fbduty(i) ? "T" : "F"}));
        put(foundation::ld_line({}));
        // the whole boundary record and section data, word by word
        for (int k = 1; k <= 8; ++k) put(foundation::ld_line({foundation::ld_int(k), foundation::ld_real(L.fb(k, i))}));
        put(foundation::ld_line({}));
        for (int k = 1; k <= 4; ++k) put(foundation::ld_line({foundation::ld_int(k), foundation::ld_int(L.isect(k, i))}));
        if (L.nila_at(i) > pi) {
            put(foundation::ld_line({}));
            put(foundation::ld_line({"  private integers"}));
            for (int j = pi + 1; j <= L.nila_at(i); ++j)
                put(foundation::ld_line({foundation::ld_int(j), foundation::ld_int(L.ila(j))}));
        }
        if (L.nrla_at(i) > pr) {
            put(foundation::ld_line({}));
            put(foundation::ld_line({"  private reals"}));
            for (int j = pr + 1; j <= L.nrla_at(i); ++j)
                put(foundation::ld_line({foundation::ld_int(j), foundation::ld_real(L.rla(j))}));
        }
        pi = L.nila_at(i);
        pr = L.nrla_at(i);
    }
    put(dashes);
    foundation::ficout(unit, ierr);
    if (!wok || ierr != 0) {
        foundation::logpri("warning: latout.dat could not be written completely");
        foundation::note_unwritten("latout.dat");
    }
}

}  // namespace lattice
