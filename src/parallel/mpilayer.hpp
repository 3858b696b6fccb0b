// Thin layer over MPI: the only place of the program that calls the MPI
// library. Process numbers here are 1-based (MPI rank + 1); the peer of
// process k is MPI rank k - 1 of MPI_COMM_WORLD, the master is rank 0.
//
// Every MPI return code is checked: a failing call is a fatal stop of the
// whole job. With one process every exchange below returns at once.
// Logicals travel as 4-byte words and are normalised (true = -1,
// false = 0) after every receive, broadcast and reduction.
#pragma once

#include <chrono>
#include <cstdint>

#include "foundation/ftypes.hpp"

namespace parallel {

// Length of a command text in characters.
inline constexpr int cmdlen = 80;

// Starts MPI; fills rank (1-based process number) and size.
void mpi_start(int& myproc, int& nprocs);

// Finalises MPI (if it was started and not yet finalised).
void mpi_stop();

// Ends the whole job with the given nonzero code: MPI_Abort when MPI is
// running, otherwise a plain process exit. Never returns.
[[noreturn]] void abort_job(int code);

// Blocking point-to-point messages with partner process iproc (1-based)
// and message tag itag. Counts are element counts (>= 0).
void send_text(const char* buf, int iproc, int itag);  // cmdlen characters
// Receives cmdlen characters. With wait_idle the receive polls for the
// message instead of spinning inside MPI, so a process that waits long for
// its next command leaves the core to others: for idle_spin it yields the
// core between two polls (a command that follows the last one closely is
// seen at once), then it sleeps between them, the sleeps doubling from
// idle_pause_first to idle_pause_longest. That bounds the time a waiting
// process takes to see its message (about a millisecond) at a cost of
// about a thousand polls a second.
void recv_text(char* buf, int iproc, int itag, bool wait_idle);
inline constexpr std::chrono::microseconds idle_spin{200};
inline constexpr std::chrono::microseconds idle_pause_first{20};
inline constexpr std::chrono::microseconds idle_pause_longest{1000};
void send_int(const std::int32_t* buf, int n, int iproc, int itag);
void recv_int(std::int32_t* buf, int n, int iproc, int itag);
void send_real(const double* buf, int n, int iproc, int itag);
void recv_real(double* buf, int n, int iproc, int itag);
void send_logical(const ftypes::Logical* buf, int n, int iproc, int itag);
void recv_logical(ftypes::Logical* buf, int n, int iproc, int itag);
// Receives at most n elements (a message may be shorter) and returns the
// number that arrived; 0 with one process.
int recv_int_upto(std::int32_t* buf, int n, int iproc, int itag);
int recv_real_upto(double* buf, int n, int iproc, int itag);
int recv_logical_upto(ftypes::Logical* buf, int n, int iproc, int itag);

// Broadcasts from the master to every process.
void bcast_int(std::int32_t* buf, int n);
void bcast_real(double* buf, int n);
void bcast_logical(ftypes::Logical* buf, int n);

// Reductions onto the master: out (master only) := element-wise sum, or
// logical or, of every process's in. out is not written on the slaves;
// in and out must not overlap.
void reduce_sum_real(const double* in, double* out, int n);
void reduce_lor_logical(const ftypes::Logical* in, ftypes::Logical* out, int n);

// Joins on every process: out := the elements of process 1, then those of
// process 2, ...; allgather_int takes n elements from every process (n
// equal on all), the allgatherv forms counts[k] elements from MPI rank k,
// placed at out + displs[k]. in (n elements, n = counts[own rank]) and out
// must not overlap. With one process out := in.
void allgather_int(const std::int32_t* in, int n, std::int32_t* out);
void allgatherv_int(const std::int32_t* in, int n, std::int32_t* out, const int* counts,
                    const int* displs);
void allgatherv_real(const double* in, int n, double* out, const int* counts, const int* displs);

}  // namespace parallel
