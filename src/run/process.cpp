#include "run/process.hpp"

namespace run {

Cmpcom cmpcom;

void cmpifo(ftypes::Logical& master, std::int32_t& myproc, std::int32_t& nprocs) {
    master = cmpcom.master;
    myproc = cmpcom.myproc;
    nprocs = cmpcom.nprocs;
}

bool is_master() { return cmpcom.master; }

}  // namespace run
