#include "parallel/cmplib.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "parallel/mpilayer.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"

namespace parallel {
namespace {

using ftypes::Logical;

bool single() { return cmpcom.nprocs <= 1; }

// The element count of a message; a message longer than MPI can count is a
// fatal stop, never a shorter one.
template <class T>
int count(std::span<T> buf) {
    check_received("message", "elements", static_cast<std::int64_t>(buf.size()), 0, INT32_MAX);
    return static_cast<int>(buf.size());
}

}  // namespace

Msgcom msgcom;

std::int32_t mytag(std::int32_t iproc) {
    std::int32_t& t = cmpcom.itag(iproc);
    t = (t + 1) % tag_modulus;
    return t;
}

std::int32_t next_tag(std::int32_t iproc) {
    return mytag(cmpcom.master ? iproc : cmpcom.myproc);
}

void check_received(const char* routine, const char* what, std::int64_t value, std::int64_t lo,
                    std::int64_t hi) {
    if (value >= lo && value <= hi) return;
    foundation::fatal_stop(std::string(" error in ") + routine + ": " + what + " = " +
                    std::to_string(value) + " outside " + std::to_string(lo) + ".." +
                    std::to_string(hi) + " on process " + std::to_string(cmpcom.myproc));
}

void isend(std::span<const std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    send_int(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void irecv(std::span<std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    recv_int(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void rsend(std::span<const double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    send_real(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void rrecv(std::span<double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    recv_real(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void lsend(std::span<const Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    send_logical(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void lrecv(std::span<Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    recv_logical(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}

void irecv_upto(std::span<std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr) {
    got = recv_int_upto(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void rrecv_upto(std::span<double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr) {
    got = recv_real_upto(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}
void lrecv_upto(std::span<Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr) {
    got = recv_logical_upto(buf.data(), count(buf), iproc, itag);
    ierr = 0;
}

// ---------------------------------------------------------------- commands

void sencmd(const ftypes::FStr<cap::txtlen>& cmd) {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) send_text(cmd.c, k, mytag(k));
        msgcom.last_command = cmd;
    } else {
        send_text(cmd.c, 1, mytag(cmpcom.myproc));
    }
}

void sencmd(const std::string& cmd) { sencmd(ftypes::FStr<cap::txtlen>(cmd)); }

void reccmd(ftypes::FStr<cap::txtlen>& cmd) {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) recv_text(cmd.c, k, mytag(k), false);
    } else {
        // a slave may wait here for a long time while the master works alone
        recv_text(cmd.c, 1, mytag(cmpcom.myproc), true);
    }
}

void release_slaves() {
    if (single() || !cmpcom.master) return;
    if (!(msgcom.last_command == "stopp")) sencmd(ftypes::FStr<cap::txtlen>("stopp"));
}

// --------------------------------------------------------- particle hand-out

void traxph(std::int32_t& npart, foundation::ParticleView xp, foundation::IndexView ip, double& t) {
    if (single()) return;
    std::int32_t IARR[1];
    double RARR[1];
    std::int32_t ierr = 0;
    if (cmpcom.master) {
        npart = xp.size();
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) {
            IARR[0] = npart;
            isend(IARR, k, mytag(k), ierr);
            RARR[0] = t;
            rsend(RARR, k, mytag(k), ierr);
            rsend(xp.words(), k, mytag(k), ierr);
            isend(ip.words(), k, mytag(k), ierr);
        }
    } else {
        const std::int32_t me = cmpcom.myproc;
        irecv(IARR, 1, mytag(me), ierr);
        check_received("traxph", "npart", IARR[0], 0, std::min(xp.size(), ip.size()));
        npart = IARR[0];
        rrecv(RARR, 1, mytag(me), ierr);
        t = RARR[0];
        rrecv(xp.first(npart).words(), 1, mytag(me), ierr);
        irecv(ip.first(npart).words(), 1, mytag(me), ierr);
    }
}

// ------------------------------------------------------------- collectives

void distri(std::span<double> a, std::int32_t nrow, std::int32_t& ncol) {
    if (single()) return;
    const std::int64_t ncap = nrow > 0 ? std::int64_t(a.size()) / nrow : 0;
    bcast_int(&ncol, 1);
    check_received("distri", "ncol", ncol, 0, ncap);
    check_received("distri", "nrow*ncol", std::int64_t(nrow) * ncol, 0, INT32_MAX);
    bcast_real(a.data(), nrow * ncol);
}

void distrl(std::span<Logical> l, std::int32_t& n) {
    if (single()) return;
    bcast_int(&n, 1);
    check_received("distrl", "n", n, 0, std::int64_t(l.size()));
    bcast_logical(l.data(), n);
}

void accumu(std::span<double> a) {
    if (single()) return;
    const auto n = static_cast<std::int64_t>(a.size());
    check_received("accumu", "n", n, 0, INT32_MAX);
    // n div chunk + 1 reductions; the last one may be empty, on every process alike
    for (std::int64_t k = 0; k <= n / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;  // 0-based first element
        const std::int64_t i2 = std::min(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_sum_real(a.data() + i1, msgcom.buffer, len);
        std::copy(msgcom.buffer, msgcom.buffer + len, a.data() + i1);
    }
}

void accuml(std::span<Logical> l) {
    if (single()) return;
    const auto n = static_cast<std::int64_t>(l.size());
    check_received("accuml", "n", n, 0, INT32_MAX);
    for (std::int64_t k = 0; k <= n / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;
        const std::int64_t i2 = std::min<std::int64_t>(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_lor_logical(l.data() + i1, msgcom.lobuff, len);
        std::copy(msgcom.lobuff, msgcom.lobuff + len, l.data() + i1);
    }
}

// ------------------------------------------------------------------ joins

namespace {

// Element counts and displacements of a join, per MPI rank; the total. The
// process's own count must lie within its list a.
std::int64_t join_layout(const char* routine, std::span<const std::int32_t> counts, std::size_t own,
                         std::size_t ncap) {
    std::int64_t total = 0;
    for (std::int32_t p = 1; p <= cmpcom.nprocs; ++p) {
        check_received(routine, "count", counts[std::size_t(p - 1)], 0, INT32_MAX);
        msgcom.join_counts(p) = counts[std::size_t(p - 1)];
        msgcom.join_displs(p) = static_cast<int>(std::min<std::int64_t>(total, INT32_MAX));
        total += counts[std::size_t(p - 1)];
    }
    check_received(routine, "total", total, 0, std::min<std::int64_t>(std::int64_t(ncap), INT32_MAX));
    check_received(routine, "own count", counts[std::size_t(cmpcom.myproc - 1)], 0, std::int64_t(own));
    return total;
}

}  // namespace

void joinct(std::int32_t n, std::span<std::int32_t> counts) {
    if (single()) {
        counts[0] = n;
        return;
    }
    allgather_int(&n, 1, counts.data());
}

void joini(std::span<const std::int32_t> a, std::span<const std::int32_t> counts, std::span<std::int32_t> out) {
    join_layout("joini", counts, a.size(), out.size());
    const std::int32_t me = cmpcom.myproc;
    allgatherv_int(a.data(), counts[std::size_t(me - 1)], out.data(), msgcom.join_counts.data(),
                   msgcom.join_displs.data());
}

void joinr(std::span<const double> a, std::span<const std::int32_t> counts, std::span<double> out) {
    join_layout("joinr", counts, a.size(), out.size());
    const std::int32_t me = cmpcom.myproc;
    allgatherv_real(a.data(), counts[std::size_t(me - 1)], out.data(), msgcom.join_counts.data(),
                    msgcom.join_displs.data());
}

}  // namespace parallel
