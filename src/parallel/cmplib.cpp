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

// Receive buffers of the reductions: one chunk each, fixed storage.
double BUFFER[accumulate_chunk];
Logical LOBUFF[accumulate_chunk];

bool single() { return cmpcom.nprocs <= 1; }

// Counts and displacements of the joins, per process.
ftypes::Arr1<int, cap::maxproc> join_counts, join_displs;

// The last command the master sent to the slaves.
ftypes::FStr<cap::txtlen> last_command;

}  // namespace

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

void isend(const std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_int(buf, n, iproc, itag);
    ierr = 0;
}
void irecv(std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    recv_int(buf, n, iproc, itag);
    ierr = 0;
}
void rsend(const double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_real(buf, n, iproc, itag);
    ierr = 0;
}
void rrecv(double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    recv_real(buf, n, iproc, itag);
    ierr = 0;
}
void lsend(const Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_logical(buf, n, iproc, itag);
    ierr = 0;
}
void lrecv(Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    recv_logical(buf, n, iproc, itag);
    ierr = 0;
}

void irecv_upto(std::int32_t* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr) {
    got = recv_int_upto(buf, nmax, iproc, itag);
    ierr = 0;
}
void rrecv_upto(double* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr) {
    got = recv_real_upto(buf, nmax, iproc, itag);
    ierr = 0;
}
void lrecv_upto(Logical* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr) {
    got = recv_logical_upto(buf, nmax, iproc, itag);
    ierr = 0;
}

// ---------------------------------------------------------------- commands

void sencmd(const ftypes::FStr<cap::txtlen>& cmd) {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) send_text(cmd.c, k, mytag(k));
        last_command = cmd;
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
    if (!(last_command == "stopp")) sencmd(ftypes::FStr<cap::txtlen>("stopp"));
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
            isend(IARR, 1, k, mytag(k), ierr);
            RARR[0] = t;
            rsend(RARR, 1, k, mytag(k), ierr);
            rsend(xp.words().data(), 7 * npart, k, mytag(k), ierr);
            isend(ip.words().data(), 2 * npart, k, mytag(k), ierr);
        }
    } else {
        const std::int32_t me = cmpcom.myproc;
        irecv(IARR, 1, 1, mytag(me), ierr);
        check_received("traxph", "npart", IARR[0], 0, std::min(xp.size(), ip.size()));
        npart = IARR[0];
        rrecv(RARR, 1, 1, mytag(me), ierr);
        t = RARR[0];
        rrecv(xp.words().data(), 7 * npart, 1, mytag(me), ierr);
        irecv(ip.words().data(), 2 * npart, 1, mytag(me), ierr);
    }
}

// ------------------------------------------------------------- collectives

void distri(double* a, std::int32_t nrow, std::int32_t& ncol, std::int32_t ncap) {
    if (single()) return;
    bcast_int(&ncol, 1);
    check_received("distri", "ncol", ncol, 0, ncap);
    check_received("distri", "nrow*ncol", std::int64_t(nrow) * ncol, 0, INT32_MAX);
    bcast_real(a, nrow * ncol);
}

void distrl(Logical* l, std::int32_t& n, std::int32_t ncap) {
    if (single()) return;
    bcast_int(&n, 1);
    check_received("distrl", "n", n, 0, ncap);
    bcast_logical(l, n);
}

void accumu(double* a, std::int32_t nrow, std::int32_t ncol) {
    if (single()) return;
    const std::int64_t n = std::int64_t(nrow) * ncol;
    check_received("accumu", "nrow*ncol", n, 0, INT32_MAX);
    // n div chunk + 1 reductions; the last one may be empty, on every process alike
    for (std::int64_t k = 0; k <= n / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;  // 0-based first element
        const std::int64_t i2 = std::min(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_sum_real(a + i1, BUFFER, len);
        std::copy(BUFFER, BUFFER + len, a + i1);
    }
}

void accuml(Logical* l, std::int32_t n) {
    if (single()) return;
    check_received("accuml", "n", n, 0, INT32_MAX);
    for (std::int64_t k = 0; k <= std::int64_t(n) / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;
        const std::int64_t i2 = std::min<std::int64_t>(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_lor_logical(l + i1, LOBUFF, len);
        std::copy(LOBUFF, LOBUFF + len, l + i1);
    }
}

// ------------------------------------------------------------------ joins

namespace {

// Element counts and displacements of a join, per MPI rank; the total.
std::int64_t join_layout(const char* routine, const std::int32_t* counts, std::int64_t ncap) {
    std::int64_t total = 0;
    for (std::int32_t p = 1; p <= cmpcom.nprocs; ++p) {
        check_received(routine, "count", counts[p - 1], 0, INT32_MAX);
        join_counts(p) = counts[p - 1];
        join_displs(p) = static_cast<int>(std::min<std::int64_t>(total, INT32_MAX));
        total += counts[p - 1];
    }
    check_received(routine, "total", total, 0, std::min<std::int64_t>(ncap, INT32_MAX));
    return total;
}

}  // namespace

void joinct(std::int32_t n, std::int32_t* counts) {
    if (single()) {
        counts[0] = n;
        return;
    }
    allgather_int(&n, 1, counts);
}

void joini(const std::int32_t* a, const std::int32_t* counts, std::int32_t* out, std::int64_t ncap) {
    join_layout("joini", counts, ncap);
    const std::int32_t me = cmpcom.myproc;
    allgatherv_int(a, counts[me - 1], out, join_counts.data(), join_displs.data());
}

void joinr(const double* a, const std::int32_t* counts, double* out, std::int64_t ncap) {
    join_layout("joinr", counts, ncap);
    const std::int32_t me = cmpcom.myproc;
    allgatherv_real(a, counts[me - 1], out, join_counts.data(), join_displs.data());
}

}  // namespace parallel
