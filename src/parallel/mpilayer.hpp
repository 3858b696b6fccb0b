// Thin layer over MPI: the only place of the program that calls the MPI
// library. Process numbers here are 1-based (MPI rank + 1).
#pragma once

namespace parallel {

// Starts MPI; fills rank (1-based process number) and size.
void mpi_start(int& myproc, int& nprocs);

// Finalises MPI (if it was started and not yet finalised).
void mpi_stop();

// Ends the whole job with the given nonzero code: MPI_Abort when MPI is
// running, otherwise a plain process exit. Never returns.
[[noreturn]] void abort_job(int code);

}  // namespace parallel
