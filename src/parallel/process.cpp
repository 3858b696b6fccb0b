#include "parallel/process.hpp"

namespace parallel {

Cmpcom cmpcom;

void cmpifo(ftypes::Logical& master, std::int32_t& myproc, std::int32_t& nprocs) {
    master = cmpcom.master;
    myproc = cmpcom.myproc;
    nprocs = cmpcom.nprocs;
}

std::string process_count_refusal(std::int32_t nprocs) {
    if (nprocs >= 1 && nprocs <= cap::maxproc) return {};
    return " error: " + std::to_string(nprocs) + " processes, at most " + std::to_string(cap::maxproc) +
           " are supported";
}

bool is_master() { return cmpcom.master; }

}  // namespace parallel
