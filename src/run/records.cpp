#include "run/records.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "bunch/forces.hpp"
#include "bunch/moncom.hpp"
#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "forces/force.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"

namespace run {
namespace {

// A record as at program start: zero-filled, then its default member values.
template <class R>
void fresh(R& r) {
    static_assert(std::is_trivially_destructible_v<R>);
    std::construct_at(&r);  // value-initialised in place: padding zero too
}

// Zero-fills every byte of a record outside the kept members, the arrays
// sized for the largest run (their counts say what is in use): the start of
// a record whose members have no default value other than zero.
template <class R, class... M>
void zero_except(R& r, M R::*... kept) {
    static_assert(std::is_standard_layout_v<R> && std::is_trivially_destructible_v<R>);
    auto* const base = reinterpret_cast<unsigned char*>(&r);
    std::array<std::pair<std::size_t, std::size_t>, sizeof...(M)> parts{
        {{std::size_t(reinterpret_cast<unsigned char*>(&(r.*kept)) - base), sizeof(r.*kept)}...}};
    std::sort(parts.begin(), parts.end());
    std::size_t at = 0;
    for (const auto& [offset, size] : parts) {
        std::memset(base + at, 0, offset - at);
        at = offset + size;
    }
    std::memset(base + at, 0, sizeof(R) - at);
}

}  // namespace

void reset_records() {
    // foundation: the units, the files, the log, the deck reader
    foundation::unit_close_all();
    foundation::iopcom = foundation::Iopcom{};
    foundation::fincom = foundation::Fincom{};
    foundation::parcom = foundation::Parcom{};

    // parallel: the process record as the process entry gives it from the
    // message layer's view of the job, which stays
    auto& P = parallel::cmpcom;
    const int rank = P.mpi_rank, size = P.mpi_size;
    fresh(P);
    P.mpi_rank = rank;
    P.mpi_size = size;
    P.myproc = rank + 1;
    P.nprocs = size;
    P.master = (P.myproc == 1);
    zero_except(parallel::msgcom, &parallel::Msgcom::buffer, &parallel::Msgcom::lobuff, &parallel::Msgcom::slave);
    parallel::msgcom.last_command = ftypes::FStr<cap::txtlen>();
    foundation::logcom = foundation::Logcom{};
    foundation::set_log_owner(P.master);

    // lattice and bunch
    fresh(lattice::latcom);
    fresh(lattice::latmks);
    zero_except(bunch::prtcls, &bunch::Prtcls::xptcl, &bunch::Prtcls::iptcl, &bunch::Prtcls::ldef,
                &bunch::Prtcls::lact);
    zero_except(bunch::force_settings, &bunch::ForceSettings::sigfil, &bunch::ForceSettings::wakdat);
    fresh(bunch::moncom);
    fresh(bunch::mo2com);
    fresh(bunch::trkcom);
    fresh(bunch::tr2com);
    fresh(bunch::tr3com);
    zero_except(bunch::forcs2, &bunch::Forcs2::fi, &bunch::Forcs2::fk, &bunch::Forcs2::work);

    // the set-up routines of the driver, in its order (none can fail)
    std::int32_t ierr = 0;
    foundation::inprsr(ierr);
    lattice::inilat(ierr);
    bunch::iniprt(ierr);
    bunch::initrk(ierr);
    forces::inifrc(ierr);
    bunch::inimon(ierr);
}

}  // namespace run
