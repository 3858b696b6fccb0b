// Messages between the master and the slaves: tags, typed point-to-point
// messages, the command channel, the run-state transfer, the particle
// hand-out and the collective broadcast, sum, logical-or and joins.
//
// Pairing rule: for every master-slave pair the master's sequence of
// messages to and from that slave equals the slave's sequence with the
// master (order, direction, type, count); every message takes one tag on
// each side. The collectives take no tag; every process makes the same
// collective calls in the same order. With one process every routine
// returns at once and leaves its arguments unchanged (the joins copy the
// process's own part into their result).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace parallel {

// Next message tag of the pair that belongs to slave iproc (the master
// passes the partner's number, a slave its own): itag(iproc) :=
// mod(itag(iproc) + 1, 32767), returned.
std::int32_t mytag(std::int32_t iproc);
inline constexpr std::int32_t tag_modulus = 32767;

// The tag of the next message with partner iproc seen from this process:
// mytag(iproc) on the master, mytag(myproc) on a slave.
std::int32_t next_tag(std::int32_t iproc);

// A count received from the master must lie within lo..hi (the capacity of
// the receiving array): otherwise a fatal stop naming routine and what.
void check_received(const char* routine, const char* what, std::int64_t value, std::int64_t lo,
                    std::int64_t hi);

// Typed blocking messages to / from process iproc with tag itag; ierr is
// the MPI status (0: a failing MPI call is a fatal stop of the job).
void isend(const std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr);
void irecv(std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr);
void rsend(const double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr);
void rrecv(double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void lsend(const ftypes::Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr);
void lrecv(ftypes::Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr);
// Receives of a message of at most nmax elements; got := the number that
// arrived (a message longer than nmax is a fatal stop).
void irecv_upto(std::int32_t* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr);
void rrecv_upto(double* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr);
void lrecv_upto(ftypes::Logical* buf, std::int32_t nmax, std::int32_t iproc, std::int32_t itag,
                std::int32_t& got, std::int32_t& ierr);

// Command channel: 80 blank-padded characters.
// sencmd: a slave sends to the master; the master sends to every slave in
// increasing process number.
void sencmd(const ftypes::FStr<cap::txtlen>& cmd);
void sencmd(const std::string& cmd);
// reccmd: a slave receives from the master (waiting idle, without burning
// a core); the master receives from every slave in increasing process
// number, so cmd holds the last slave's reply.
void reccmd(ftypes::FStr<cap::txtlen>& cmd);

// Master, at the end of its run: sends "stopp" to the slaves unless the
// last command it sent them was "stopp" already, so that no slave is left
// waiting for a command when the master's run ends on an unforeseen path.
void release_slaves();

// Particle hand-out of one force evaluation: the count, the time c*t (m),
// the particle records (7 reals each) and their index pairs (2 integers
// each). The master sends every record of its views (npart := their
// count); a slave receives into its views, whose count is its capacity,
// and stores the master's npart and t: a count beyond the capacity is a
// fatal stop before anything is written.
void traxph(std::int32_t& npart, foundation::ParticleView xp, foundation::IndexView ip, double& t);

// Broadcast of a(nrow, ncol) from the master; every process takes the
// master's ncol, which must lie within 0..ncap (the column capacity of the
// receiving array), else a fatal stop before anything is written.
void distri(double* a, std::int32_t nrow, std::int32_t& ncol, std::int32_t ncap);
// Broadcast of n logicals from the master; every process takes the
// master's n, which must lie within 0..ncap.
void distrl(ftypes::Logical* l, std::int32_t& n, std::int32_t ncap);
// Element-wise sum of a(nrow*ncol) onto the master, in chunks of 5000000
// elements. On a slave the contents of a afterwards are not defined.
void accumu(double* a, std::int32_t nrow, std::int32_t ncol);
// Element-wise logical or of l(n) onto the master, in chunks of 5000000.
void accuml(ftypes::Logical* l, std::int32_t n);

// Chunk length of the reductions (the size of their receive buffers).
inline constexpr std::int32_t accumulate_chunk = 5000000;

// Joins of lists whose length differs from process to process, for data
// that only some processes hold or need (a sparse share of a large array):
// every process ends with every process's list, in process order.
// joinct: counts(p) := the count n of process p, for p = 1..nprocs
// (counts holds nprocs elements; n >= 0).
void joinct(std::int32_t n, std::int32_t* counts);
// joini, joinr: out := a(1..counts(1)) of process 1, then a(1..counts(2)) of
// process 2, ..., with counts as joinct gives them (equal on every process);
// each process passes its own counts(myproc) elements. A total beyond ncap,
// the capacity of out, is a fatal stop before anything is written. With one
// process out := a(1..counts(1)).
void joini(const std::int32_t* a, const std::int32_t* counts, std::int32_t* out, std::int64_t ncap);
void joinr(const double* a, const std::int32_t* counts, double* out, std::int64_t ncap);

}  // namespace parallel
