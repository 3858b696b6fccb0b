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
#include <span>
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

// Typed blocking messages of the elements of buf to / from process iproc
// with tag itag; ierr is the MPI status (0: a failing MPI call is a fatal
// stop of the job). A receive takes exactly buf.size() elements.
void isend(std::span<const std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void irecv(std::span<std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void rsend(std::span<const double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void rrecv(std::span<double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void lsend(std::span<const ftypes::Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
void lrecv(std::span<ftypes::Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr);
// Receives of a message of at most buf.size() elements; got := the number
// that arrived (a longer message is a fatal stop).
void irecv_upto(std::span<std::int32_t> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr);
void rrecv_upto(std::span<double> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr);
void lrecv_upto(std::span<ftypes::Logical> buf, std::int32_t iproc, std::int32_t itag, std::int32_t& got,
                std::int32_t& ierr);

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

// Broadcast of a(nrow, ncol) from the master: a holds nrow x ncap values
// (ncap = a.size() / nrow, nrow >= 1); every process takes the master's
// ncol, which must lie within 0..ncap, else a fatal stop before anything
// is written.
void distri(std::span<double> a, std::int32_t nrow, std::int32_t& ncol);
// Broadcast of n logicals from the master; every process takes the
// master's n, which must lie within 0..l.size().
void distrl(std::span<ftypes::Logical> l, std::int32_t& n);
// Element-wise sum of a onto the master, in chunks of 5000000 elements. On
// a slave the contents of a afterwards are not defined.
void accumu(std::span<double> a);
// Element-wise logical or of l onto the master, in chunks of 5000000.
void accuml(std::span<ftypes::Logical> l);

// Chunk length of the reductions (the size of their receive buffers).
inline constexpr std::int32_t accumulate_chunk = 5000000;

// Joins of lists whose length differs from process to process, for data
// that only some processes hold or need (a sparse share of a large array):
// every process ends with every process's list, in process order.
// joinct: counts(p) := the count n of process p, for p = 1..nprocs
// (counts holds at least nprocs elements; n >= 0).
void joinct(std::int32_t n, std::span<std::int32_t> counts);
// joini, joinr: out := a(1..counts(1)) of process 1, then a(1..counts(2)) of
// process 2, ..., with counts as joinct gives them (equal on every process);
// each process passes its own counts(myproc) elements of a. A total beyond
// out.size() is a fatal stop before anything is written. With one process
// out := a(1..counts(1)).
void joini(std::span<const std::int32_t> a, std::span<const std::int32_t> counts, std::span<std::int32_t> out);
void joinr(std::span<const double> a, std::span<const std::int32_t> counts, std::span<double> out);

// The slave's own arrays of one parallel force evaluation: the particle
// records and index pairs the hand-out fills, and its partial forces.
struct SlaveArrays : ftypes::NoCopy {
    ftypes::Arr2<double, 7, cap::maxprt> XP;        // particle records
    ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP;  // index pairs
    ftypes::Arr2<double, 3, cap::maxprt> F;         // partial forces
};

// The message layer's own storage, fixed and allocated once: the receive
// buffers of the reductions (one chunk each), the counts and displacements
// of a join per process, the last command the master sent, and the
// slave's arrays of a force evaluation.
struct Msgcom : ftypes::NoCopy {
    double buffer[accumulate_chunk];
    ftypes::Logical lobuff[accumulate_chunk];
    ftypes::Arr1<int, cap::maxproc> join_counts, join_displs;
    ftypes::FStr<cap::txtlen> last_command;
    SlaveArrays slave;
};

extern Msgcom msgcom;

}  // namespace parallel
