// The process record: who this process is within the job.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace parallel {

struct Cmpcom {
    std::int32_t myproc = 1;   // own process number, 1-based (MPI rank + 1)
    std::int32_t nprocs = 1;   // number of processes of the job
    std::int32_t idebug = 0;   // communication trace level; 0 for the whole run
    ftypes::Arr1<std::int32_t, cap::maxproc> itag{};  // message-tag counter per partner
    ftypes::Logical master = true;  // true on process 1
    // The message layer's own view of the job (MPI rank, 0-based, and size):
    // one process until MPI has been started, so that every exchange returns
    // at once in a program that never starts MPI.
    int mpi_rank = 0;
    int mpi_size = 1;
};

extern Cmpcom cmpcom;

// Copies the master flag, own process number and number of processes out of
// the process record: the way code outside the process layer reads it.
void cmpifo(ftypes::Logical& master, std::int32_t& myproc, std::int32_t& nprocs);

// The start-up check of the job size: the tag counters hold at most 100
// partners. Returns the line that refuses a job of nprocs processes, or an
// empty text when the job can run.
std::string process_count_refusal(std::int32_t nprocs);

// Convenience: true on the master.
bool is_master();

}  // namespace parallel
