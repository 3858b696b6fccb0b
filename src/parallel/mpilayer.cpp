#include "parallel/mpilayer.hpp"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/platform.hpp"
#include "parallel/process.hpp"

namespace parallel {
namespace {

// A failed MPI call ends the whole job.
void check(int rc, const char* call) {
    if (rc == MPI_SUCCESS) return;
    char text[MPI_MAX_ERROR_STRING + 1] = {};
    int len = 0;
    if (MPI_Error_string(rc, text, &len) != MPI_SUCCESS) len = 0;
    text[std::min(len, MPI_MAX_ERROR_STRING)] = '\0';
    foundation::fatal_stop(std::string(" error in the message layer: ") + call + " failed on process " +
                    std::to_string(cmpcom.mpi_rank + 1) + ": " + text);
}

int peer(int iproc) {
    if (iproc < 1 || iproc > cmpcom.mpi_size)
        foundation::fatal_stop(" error in the message layer: no process number " + std::to_string(iproc));
    return iproc - 1;
}

void check_count(int n, const char* call) {
    if (n < 0)
        foundation::fatal_stop(std::string(" error in the message layer: negative count in ") + call);
}

void send_raw(const void* buf, int n, MPI_Datatype type, int iproc, int itag, const char* what) {
    check_count(n, what);
    check(MPI_Send(buf, n, type, peer(iproc), itag, MPI_COMM_WORLD), what);
}

// Receives at most n elements and returns how many arrived; a longer
// message fails inside MPI_Recv as a truncation (a fatal stop).
int recv_upto(void* buf, int n, MPI_Datatype type, int iproc, int itag, const char* what) {
    check_count(n, what);
    MPI_Status status;
    check(MPI_Recv(buf, n, type, peer(iproc), itag, MPI_COMM_WORLD, &status), what);
    int got = 0;
    check(MPI_Get_count(&status, type, &got), "MPI_Get_count");
    return got;
}

// Receives exactly n elements; a message of another length is a fatal stop.
void recv_raw(void* buf, int n, MPI_Datatype type, int iproc, int itag, const char* what) {
    const int got = recv_upto(buf, n, type, iproc, itag, what);
    if (got != n)
        foundation::fatal_stop(std::string(" error in the message layer: ") + what + " expected " +
                        std::to_string(n) + " elements, received " + std::to_string(got));
}

void normalise(ftypes::Logical* buf, int n) {
    for (int i = 0; i < n; ++i) buf[i] = ftypes::Logical::from_word(buf[i].v);
}

}  // namespace

void mpi_start(int& myproc, int& nprocs) {
    int flag = 0;
    check(MPI_Initialized(&flag), "MPI_Initialized");
    if (!flag) check(MPI_Init(nullptr, nullptr), "MPI_Init");
    // failures are reported back to us, checked and turned into a fatal stop
    check(MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN), "MPI_Comm_set_errhandler");
    int rank = 0, size = 1;
    check(MPI_Comm_rank(MPI_COMM_WORLD, &rank), "MPI_Comm_rank");
    check(MPI_Comm_size(MPI_COMM_WORLD, &size), "MPI_Comm_size");
    cmpcom.mpi_rank = rank;
    cmpcom.mpi_size = size;
    // a fatal stop anywhere now ends the whole job
    foundation::set_job_end(&abort_job);
    myproc = rank + 1;
    nprocs = size;
}

void mpi_stop() {
    int init = 0, fin = 0;
    check(MPI_Initialized(&init), "MPI_Initialized");
    check(MPI_Finalized(&fin), "MPI_Finalized");
    if (init && !fin) check(MPI_Finalize(), "MPI_Finalize");
    cmpcom.mpi_rank = 0;
    cmpcom.mpi_size = 1;
}

void abort_job(int code) {
    if (code == 0) code = 1;
    std::fflush(stdout);
    std::fflush(stderr);
    int init = 0, fin = 0;
    MPI_Initialized(&init);
    MPI_Finalized(&fin);
    if (init && !fin) {
        // give the launcher a moment to pass on the output already written:
        // the abort tears down every process and its output channels at once
        if (cmpcom.mpi_size > 1) std::this_thread::sleep_for(std::chrono::milliseconds(250));
        MPI_Abort(MPI_COMM_WORLD, code);
    }
    std::_Exit(code);
}

void send_text(const char* buf, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    send_raw(buf, cmdlen, MPI_CHAR, iproc, itag, "MPI_Send (text)");
}

void recv_text(char* buf, int iproc, int itag, bool wait_idle) {
    if (cmpcom.mpi_size == 1) return;
    if (wait_idle) {
        // poll for the message: for idle_spin giving the core to any other
        // process between two polls, then sleeping between them, the sleep
        // doubling from idle_pause_first up to idle_pause_longest
        auto pause = idle_pause_first;
        const auto longest = idle_pause_longest;
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            int flag = 0;
            MPI_Status status;
            // A probe that finds nothing lets the library take in what has
            // arrived meanwhile, which only the next probe sees: probe twice
            // before sleeping, or a message that came during a sleep waits
            // one more sleep.
            for (int k = 0; k < 2 && !flag; ++k)
                check(MPI_Iprobe(peer(iproc), itag, MPI_COMM_WORLD, &flag, &status), "MPI_Iprobe");
            if (flag) break;
            if (std::chrono::steady_clock::now() - start < idle_spin) {
                std::this_thread::yield();
                continue;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, longest);
        }
    }
    recv_raw(buf, cmdlen, MPI_CHAR, iproc, itag, "MPI_Recv (text)");
}

int recv_int_upto(std::int32_t* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return 0;
    return recv_upto(buf, n, MPI_INT32_T, iproc, itag, "MPI_Recv (integer)");
}

int recv_real_upto(double* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return 0;
    return recv_upto(buf, n, MPI_DOUBLE, iproc, itag, "MPI_Recv (real)");
}

int recv_logical_upto(ftypes::Logical* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return 0;
    const int got = recv_upto(buf, n, MPI_INT32_T, iproc, itag, "MPI_Recv (logical)");
    normalise(buf, got);
    return got;
}

void send_int(const std::int32_t* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    send_raw(buf, n, MPI_INT32_T, iproc, itag, "MPI_Send (integer)");
}

void recv_int(std::int32_t* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    recv_raw(buf, n, MPI_INT32_T, iproc, itag, "MPI_Recv (integer)");
}

void send_real(const double* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    send_raw(buf, n, MPI_DOUBLE, iproc, itag, "MPI_Send (real)");
}

void recv_real(double* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    recv_raw(buf, n, MPI_DOUBLE, iproc, itag, "MPI_Recv (real)");
}

void send_logical(const ftypes::Logical* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    send_raw(buf, n, MPI_INT32_T, iproc, itag, "MPI_Send (logical)");
}

void recv_logical(ftypes::Logical* buf, int n, int iproc, int itag) {
    if (cmpcom.mpi_size == 1) return;
    recv_raw(buf, n, MPI_INT32_T, iproc, itag, "MPI_Recv (logical)");
    normalise(buf, n);
}

void bcast_int(std::int32_t* buf, int n) {
    if (cmpcom.mpi_size == 1) return;
    check_count(n, "MPI_Bcast (integer)");
    check(MPI_Bcast(buf, n, MPI_INT32_T, 0, MPI_COMM_WORLD), "MPI_Bcast (integer)");
}

void bcast_real(double* buf, int n) {
    if (cmpcom.mpi_size == 1) return;
    check_count(n, "MPI_Bcast (real)");
    check(MPI_Bcast(buf, n, MPI_DOUBLE, 0, MPI_COMM_WORLD), "MPI_Bcast (real)");
}

void bcast_logical(ftypes::Logical* buf, int n) {
    if (cmpcom.mpi_size == 1) return;
    check_count(n, "MPI_Bcast (logical)");
    check(MPI_Bcast(buf, n, MPI_INT32_T, 0, MPI_COMM_WORLD), "MPI_Bcast (logical)");
    normalise(buf, n);
}

void reduce_sum_real(const double* in, double* out, int n) {
    if (cmpcom.mpi_size == 1) return;
    check_count(n, "MPI_Reduce (sum)");
    check(MPI_Reduce(in, out, n, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD), "MPI_Reduce (sum)");
}

void reduce_lor_logical(const ftypes::Logical* in, ftypes::Logical* out, int n) {
    if (cmpcom.mpi_size == 1) return;
    check_count(n, "MPI_Reduce (logical or)");
    // the logical or of C integers gives 1 for true: normalised to -1
    check(MPI_Reduce(in, out, n, MPI_INT32_T, MPI_LOR, 0, MPI_COMM_WORLD),
          "MPI_Reduce (logical or)");
    if (cmpcom.mpi_rank == 0) normalise(out, n);
}

void allgather_int(const std::int32_t* in, int n, std::int32_t* out) {
    check_count(n, "MPI_Allgather (integer)");
    if (cmpcom.mpi_size == 1) {
        std::copy(in, in + n, out);
        return;
    }
    check(MPI_Allgather(in, n, MPI_INT32_T, out, n, MPI_INT32_T, MPI_COMM_WORLD),
          "MPI_Allgather (integer)");
}

void allgatherv_int(const std::int32_t* in, int n, std::int32_t* out, const int* counts,
                    const int* displs) {
    check_count(n, "MPI_Allgatherv (integer)");
    if (cmpcom.mpi_size == 1) {
        std::copy(in, in + n, out + displs[0]);
        return;
    }
    check(MPI_Allgatherv(in, n, MPI_INT32_T, out, counts, displs, MPI_INT32_T, MPI_COMM_WORLD),
          "MPI_Allgatherv (integer)");
}

void allgatherv_real(const double* in, int n, double* out, const int* counts, const int* displs) {
    check_count(n, "MPI_Allgatherv (real)");
    if (cmpcom.mpi_size == 1) {
        std::copy(in, in + n, out + displs[0]);
        return;
    }
    check(MPI_Allgatherv(in, n, MPI_DOUBLE, out, counts, displs, MPI_DOUBLE, MPI_COMM_WORLD),
          "MPI_Allgatherv (real)");
}

}  // namespace parallel
