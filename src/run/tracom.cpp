// The run-state transfer: one declarative table of the messages, used for
// sending on the master and for receiving on a slave.
//
// A message is either a group of scalar fields of one element type (packed
// in table order into one message) or the filled part of one array field:
// its first words x count records, count being a field of the same record
// (boundaries, private data in use, particles). The rest of an array is
// never read on a slave and does not travel. The counts come later in the
// order of the messages, so a slave takes the array as it arrives (at most
// its capacity) and checks its length against the count once the count has
// arrived. For every record the fields that are sent plus the fields that
// stay on the master must name every member of the record: a member added
// to a record without a decision here fails to compile.
#include "run/tracom.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <tuple>
#include <type_traits>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "forces/gmesh.hpp"
#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "lattice/latcom.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"

namespace run {
namespace {

using bunch::ForceSettings;
using bunch::Prtcls;
using bunch::Trkcom;
using forces::Mesh;
using ftypes::Logical;
using lattice::Latcom;
using parallel::cmpcom;

// ------------------------------------------------------------ the table

// A scalar field; a count field carries the range a slave accepts
// (lo > hi: any value).
template <class Rec, class T>
struct Scalar {
    T Rec::*field;
    const char* name = "";
    std::int64_t lo = 1, hi = 0;
};

// One message of N scalar fields of type T.
template <class Rec, class T, std::size_t N>
struct Group {
    std::array<Scalar<Rec, T>, N> fields;
};

// One message holding the filled part of an array field: words x count
// elements from its start.
template <class Rec, class A>
struct Filled {
    A Rec::*field;
    std::int32_t Rec::*count;
    std::int32_t words;
    const char* name;
};

template <class Rec, class T, class... F>
constexpr auto group(F... f) {
    return Group<Rec, T, sizeof...(F)>{{Scalar<Rec, T>{f}...}};
}

// 1-4: the model settings of the force record
constexpr auto force_messages = std::make_tuple(
    group<ForceSettings, std::int32_t>(&ForceSettings::itype, &ForceSettings::ishape),
    group<ForceSettings, double>(&ForceSettings::sigma_long, &ForceSettings::sigma_rad, &ForceSettings::sigma_vert,
                          &ForceSettings::relative_long, &ForceSettings::relative_vert, &ForceSettings::rintmi,
                          &ForceSettings::sbox, &ForceSettings::rbox, &ForceSettings::shield, &ForceSettings::shield_max,
                          &ForceSettings::green_work_max),
    group<ForceSettings, double>(&ForceSettings::par1, &ForceSettings::par2, &ForceSettings::par3, &ForceSettings::par4, &ForceSettings::par5),
    group<ForceSettings, Logical>(&ForceSettings::lrell, &ForceSettings::lradl, &ForceSettings::lrelv, &ForceSettings::ltest,
                           &ForceSettings::loldms));
constexpr auto force_master_only =
    std::make_tuple(&ForceSettings::sigfil, &ForceSettings::sigwak, &ForceSettings::stpwak, &ForceSettings::wakdat,
                    &ForceSettings::nsgfil, &ForceSettings::nfcall, &ForceSettings::n1wak, &ForceSettings::n2wak,
                    &ForceSettings::lsgfil, &ForceSettings::lfill, &ForceSettings::lfilr, &ForceSettings::lfilv,
                    &ForceSettings::ltrace, &ForceSettings::lwake, &ForceSettings::rintmi_said);

// 5-6: the stamp of the stored Green's function; the observers and boxes
// are built by every process itself at each evaluation
constexpr auto mesh_messages = std::make_tuple(group<Mesh, double>(&Mesh::ctgreen),
                                               group<Mesh, Logical>(&Mesh::lgreen));
constexpr auto mesh_master_only = std::make_tuple(
    &Mesh::poly, &Mesh::xorig, &Mesh::yorig, &Mesh::cosref, &Mesh::sinref, &Mesh::gamref,
    &Mesh::betref, &Mesh::phiref, &Mesh::fobs, &Mesh::xoff, &Mesh::yoff, &Mesh::umin, &Mesh::umax,
    &Mesh::vmin, &Mesh::vmax, &Mesh::du, &Mesh::dv, &Mesh::ipt, &Mesh::nobs, &Mesh::ibox, &Mesh::nbox,
    &Mesh::nu1, &Mesh::nv1, &Mesh::linbox);

// 7-16: the lattice
constexpr auto lattice_messages = std::make_tuple(
    Filled<Latcom, decltype(Latcom::fb)>{&Latcom::fb, &Latcom::nfb, 8, "values of fb"},
    Filled<Latcom, decltype(Latcom::fbchg)>{&Latcom::fbchg, &Latcom::nfbchg, 8, "values of fbchg"},
    Filled<Latcom, decltype(Latcom::rla)>{&Latcom::rla, &Latcom::nrla, 1, "values of rla"},
    Filled<Latcom, decltype(Latcom::srtab)>{&Latcom::srtab, &Latcom::nfbchg, 2, "values of srtab"},
    Filled<Latcom, decltype(Latcom::isect)>{&Latcom::isect, &Latcom::nfb, 4, "values of isect"},
    Filled<Latcom, decltype(Latcom::ila)>{&Latcom::ila, &Latcom::nila, 1, "values of ila"},
    Filled<Latcom, decltype(Latcom::ctfb)>{&Latcom::ctfb, &Latcom::nfb, 1, "values of ctfb"},
    Group<Latcom, std::int32_t, 4>{{{{&Latcom::nfb, "nfb", 0, cap::maxlat},
                                    {&Latcom::nfbchg, "nfbchg", 0, cap::maxlat},
                                    {&Latcom::nila, "nila", 0, cap::ilalen},
                                    {&Latcom::nrla, "nrla", 0, cap::rlalen}}}},
    group<Latcom, Logical>(&Latcom::lfbok),
    Filled<Latcom, decltype(Latcom::fbduty)>{&Latcom::fbduty, &Latcom::nfb, 1, "values of fbduty"});
constexpr auto lattice_master_only = std::make_tuple();

// 17-24: the bunch record
constexpr auto bunch_messages = std::make_tuple(
    group<Prtcls, double>(&Prtcls::reference_point_x, &Prtcls::reference_point_y,
                          &Prtcls::reference_point_phi),
    Filled<Prtcls, decltype(Prtcls::xptcl)>{&Prtcls::xptcl, &Prtcls::npart, 7, "values of xptcl"},
    group<Prtcls, double>(&Prtcls::ctptcl, &Prtcls::p0, &Prtcls::qtot, &Prtcls::rmslon,
                          &Prtcls::rmsrad, &Prtcls::rmsver),
    Filled<Prtcls, decltype(Prtcls::iptcl)>{&Prtcls::iptcl, &Prtcls::npart, 2, "values of iptcl"},
    Group<Prtcls, std::int32_t, 2>{{{{&Prtcls::npart, "npart", 0, cap::maxprt}, {&Prtcls::qsign}}}},
    group<Prtcls, Logical>(&Prtcls::lfbidx),
    Filled<Prtcls, decltype(Prtcls::ldef)>{&Prtcls::ldef, &Prtcls::npart, 1, "values of ldef"},
    Filled<Prtcls, decltype(Prtcls::lact)>{&Prtcls::lact, &Prtcls::npart, 1, "values of lact"});
constexpr auto bunch_master_only = std::make_tuple();

// 25: the tracker end times
constexpr auto tracker_messages = std::make_tuple(group<Trkcom, double>(
    &Trkcom::delta_time_c0, &Trkcom::end_time_c0, &Trkcom::end_time_shift_c0));
constexpr auto tracker_master_only = std::make_tuple();

// ------------------------------------------------- the coverage check

// Number of members of an aggregate record.
struct AnyField {
    template <class T>
    operator T() const;
};
template <class T, class... A>
consteval std::size_t member_count() {
    if constexpr (requires { T{A{}..., AnyField{}}; }) return member_count<T, A..., AnyField>();
    else return sizeof...(A);
}

template <class M>
struct FieldCount;
template <class Rec, class T, std::size_t N>
struct FieldCount<Group<Rec, T, N>> : std::integral_constant<std::size_t, N> {};
template <class Rec, class A>
struct FieldCount<Filled<Rec, A>> : std::integral_constant<std::size_t, 1> {};
template <class Tuple>
struct SentFields;
template <class... M>
struct SentFields<std::tuple<M...>> : std::integral_constant<std::size_t, (0 + ... + FieldCount<M>::value)> {};

// The sent fields and those that stay on the master are all the members of
// the record (its NoCopy base, which holds nothing, aside).
template <class Rec, class Sent, class Stay>
constexpr bool covers =
    SentFields<std::remove_cv_t<Sent>>::value + std::tuple_size_v<std::remove_cv_t<Stay>> ==
    member_count<Rec>() - (std::is_base_of_v<ftypes::NoCopy, Rec> ? 1 : 0);

static_assert(covers<ForceSettings, decltype(force_messages), decltype(force_master_only)>,
              "every member of the force record is sent or stays on the master");
static_assert(covers<Mesh, decltype(mesh_messages), decltype(mesh_master_only)>);
static_assert(covers<Latcom, decltype(lattice_messages), decltype(lattice_master_only)>);
static_assert(covers<Prtcls, decltype(bunch_messages), decltype(bunch_master_only)>);
static_assert(covers<Trkcom, decltype(tracker_messages), decltype(tracker_master_only)>);

// --------------------------------------------------- sending, receiving

template <class T>
void transfer(std::span<T> b, std::int32_t iproc, std::int32_t& ierr) {
    const std::int32_t tag = parallel::next_tag(iproc);
    if constexpr (std::is_same_v<T, std::int32_t>) {
        if (cmpcom.master) parallel::isend(b, iproc, tag, ierr);
        else parallel::irecv(b, iproc, tag, ierr);
    } else if constexpr (std::is_same_v<T, double>) {
        if (cmpcom.master) parallel::rsend(b, iproc, tag, ierr);
        else parallel::rrecv(b, iproc, tag, ierr);
    } else {
        if (cmpcom.master) parallel::lsend(b, iproc, tag, ierr);
        else parallel::lrecv(b, iproc, tag, ierr);
    }
}

// The filled part of an array: the master sends n elements; a slave takes
// at most nmax and returns how many arrived.
void send(std::span<const std::int32_t> b, std::int32_t p, std::int32_t t, std::int32_t& e) { parallel::isend(b, p, t, e); }
void send(std::span<const double> b, std::int32_t p, std::int32_t t, std::int32_t& e) { parallel::rsend(b, p, t, e); }
void send(std::span<const Logical> b, std::int32_t p, std::int32_t t, std::int32_t& e) { parallel::lsend(b, p, t, e); }
void recv_upto(std::span<std::int32_t> b, std::int32_t p, std::int32_t t, std::int32_t& got, std::int32_t& e) { parallel::irecv_upto(b, p, t, got, e); }
void recv_upto(std::span<double> b, std::int32_t p, std::int32_t t, std::int32_t& got, std::int32_t& e) { parallel::rrecv_upto(b, p, t, got, e); }
void recv_upto(std::span<Logical> b, std::int32_t p, std::int32_t t, std::int32_t& got, std::int32_t& e) { parallel::lrecv_upto(b, p, t, got, e); }

template <class T>
std::int32_t transfer_part(T* b, std::int32_t n, std::int32_t nmax, std::int32_t iproc, std::int32_t& ierr) {
    std::int32_t got = n;
    const std::int32_t tag = parallel::next_tag(iproc);
    if (cmpcom.master) send(std::span<const T>(b, std::size_t(n)), iproc, tag, ierr);
    else recv_upto(std::span<T>(b, std::size_t(nmax)), iproc, tag, got, ierr);
    return got;
}

// The arrays a slave has received, to be checked against their counts once
// every message has arrived.
struct Arrived {
    const char* name;
    std::int64_t got;
    const std::int32_t* count;
    std::int32_t words;
};
struct Arrivals {
    Arrived a[16];
    int n = 0;
};

template <class Rec, class T, std::size_t N>
void message(Rec& rec, const Group<Rec, T, N>& g, std::int32_t iproc, std::int32_t& ierr, Arrivals&) {
    T buf[N];
    if (cmpcom.master)
        for (std::size_t k = 0; k < N; ++k) buf[k] = rec.*(g.fields[k].field);
    transfer(std::span<T>(buf), iproc, ierr);
    if (cmpcom.master) return;
    for (std::size_t k = 0; k < N; ++k) {
        const auto& f = g.fields[k];
        if constexpr (std::is_same_v<T, std::int32_t>)
            if (f.lo <= f.hi) parallel::check_received("zzzcom", f.name, buf[k], f.lo, f.hi);
    }
    for (std::size_t k = 0; k < N; ++k) rec.*(g.fields[k].field) = buf[k];
}

template <class Rec, class A>
void message(Rec& rec, const Filled<Rec, A>& w, std::int32_t iproc, std::int32_t& ierr, Arrivals& arrived) {
    A& a = rec.*(w.field);
    const auto capacity = static_cast<std::int32_t>(sizeof(a.a) / sizeof(a.a[0]));
    const std::int32_t n = cmpcom.master ? w.words * (rec.*(w.count)) : 0;
    if (cmpcom.master) parallel::check_received("zzzcom", w.name, n, 0, capacity);
    const std::int32_t got = transfer_part(a.data(), n, capacity, iproc, ierr);
    if (!cmpcom.master && arrived.n < 16) arrived.a[arrived.n++] = {w.name, got, &(rec.*(w.count)), w.words};
}

template <class Rec, class Tuple>
void messages(Rec& rec, const Tuple& t, std::int32_t iproc, std::int32_t& ierr, Arrivals& arrived) {
    std::apply([&](const auto&... m) { (message(rec, m, iproc, ierr, arrived), ...); }, t);
}

}  // namespace

void tracom(forces::ModelWork& work) {
    if (cmpcom.nprocs <= 1) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) zzzcom(work, k);
    } else {
        zzzcom(work, 1);
    }
}

void zzzcom(forces::ModelWork& work, std::int32_t iproc) {
    std::int32_t ierr = 0;
    Arrivals arrived;
    messages(bunch::force_settings, force_messages, iproc, ierr, arrived);
    messages(work.mesh.mesh, mesh_messages, iproc, ierr, arrived);
    messages(lattice::latcom, lattice_messages, iproc, ierr, arrived);
    messages(bunch::prtcls, bunch_messages, iproc, ierr, arrived);
    messages(bunch::trkcom, tracker_messages, iproc, ierr, arrived);
    // every array arrived with the length its count gives
    for (int k = 0; k < arrived.n; ++k) {
        const Arrived& a = arrived.a[k];
        parallel::check_received("zzzcom", a.name, a.got, std::int64_t(a.words) * *a.count,
                                 std::int64_t(a.words) * *a.count);
    }
}

}  // namespace run
