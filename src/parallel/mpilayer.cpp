#include "parallel/mpilayer.hpp"

#include <mpi.h>
#include <cstdio>
#include <cstdlib>

namespace parallel {

void mpi_start(int& myproc, int& nprocs) {
    int flag = 0;
    MPI_Initialized(&flag);
    if (!flag) MPI_Init(nullptr, nullptr);
    int rank = 0, size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    myproc = rank + 1;
    nprocs = size;
}

void mpi_stop() {
    int init = 0, fin = 0;
    MPI_Initialized(&init);
    MPI_Finalized(&fin);
    if (init && !fin) MPI_Finalize();
}

void abort_job(int code) {
    if (code == 0) code = 1;
    std::fflush(stdout);
    std::fflush(stderr);
    int init = 0, fin = 0;
    MPI_Initialized(&init);
    MPI_Finalized(&fin);
    if (init && !fin) MPI_Abort(MPI_COMM_WORLD, code);
    std::_Exit(code);
}

}  // namespace parallel
