#include "parallel/launcher.hpp"

#include <cstdlib>

// Set by the build: the family of the linked MPI and its launcher.
#ifndef TARVEL_MPI_FAMILY
#define TARVEL_MPI_FAMILY "MPI"
#endif
#ifndef TARVEL_MPIEXEC_PATH
#define TARVEL_MPIEXEC_PATH "mpiexec"
#endif

namespace parallel {
namespace {

// A variable holding a non-negative integer, or -1 (absent, empty or not a
// number).
long number(const EnvLookup& env, const char* name) {
    const char* v = env(name);
    if (v == nullptr || *v == '\0') return -1;
    long n = 0;
    for (const char* c = v; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || n > 100000000L) return -1;
        n = 10 * n + (*c - '0');
    }
    return n;
}

// The launchers of MPI jobs that give every process the size of the job
// and its own rank.
struct MpiLauncher {
    const char* size;
    const char* rank;
    const char* name;
};
constexpr MpiLauncher mpi_launchers[] = {
    {"PMI_SIZE", "PMI_RANK", "a PMI launcher (Hydra, MPICH's mpiexec)"},
    {"OMPI_COMM_WORLD_SIZE", "OMPI_COMM_WORLD_RANK", "Open MPI's launcher"},
};

// The refusal: what started the processes and how to start one job; then
// the way out for processes that are meant to run alone (a parameter scan,
// each task starting tarvel in its own folder), with the value the variable
// holds when it is set to something else.
LaunchCheck refuse(std::string_view who, long size, long rank, bool print_any, std::string_view family,
                   std::string_view mpiexec, const char* single) {
    std::string line = " error: " + std::string(who) + " started ";
    line += size > 1 ? std::to_string(size) + " processes" : std::string("several processes");
    line += ", each of which " + std::string(family) + " sees as a job of its own: start tarvel with ";
    line += std::string(mpiexec);
    if (size > 1) line += " -n " + std::to_string(size);
    line += "\n (independent one-process runs, each in its own folder: set " + std::string(single_job_variable) + "=1";
    if (single != nullptr && *single != '\0') line += ", not '" + std::string(single) + "'";
    line += ")";
    return {line, print_any || rank <= 0};
}

}  // namespace

// The rule. Only a job in which MPI reports one process is looked at; MPI's
// own count is right whenever it reports more.
//  0. TARVEL_SINGLE_JOB=1 says that this process is a job of its own (the
//     tasks of a parameter scan, each starting tarvel in its own folder
//     inside one multi-task step): it runs whatever the launchers say.
//  1. Launchers of MPI jobs (Hydra and the other PMI launchers: PMI_SIZE;
//     Open MPI's mpiexec: OMPI_COMM_WORLD_SIZE) describe the processes they
//     start. When one of them says 1, this is a one-process job: such a
//     launcher started this very process (any other's variables are left
//     over from an outer job that started the launcher). When none says 1
//     and one says more, the job is refused: another MPI's launcher started
//     several copies that do not know of each other.
//  2. Only when no launcher of step 1 is present: Slurm's srun gives every
//     task the size of its job step, SLURM_STEP_NUM_TASKS, and its number,
//     SLURM_PROCID; a step of more than one task is refused. Never the size
//     of the allocation (SLURM_NTASKS, SLURM_NPROCS): a plain ./tarvel in a
//     batch script of 16 tasks, or mpiexec -n 1 inside such an allocation
//     (step 1), is a one-process job. (When an MPI launcher starts its own
//     daemons through srun, its processes inherit the daemons' step; step 1
//     then decides.)
//  3. Without a size: a process numbered above 0 by a PMIx launcher
//     (PMIX_RANK) or by srun (SLURM_PROCID) is not alone; it refuses, and
//     each such process prints the line, since the one numbered 0 cannot
//     know.
// The process numbered 0 by the launcher that decided prints the line (the
// only one that would be the master of a proper job); a process without a
// number prints it too.
LaunchCheck check_launcher(std::int32_t nprocs, const EnvLookup& env, std::string_view family,
                           std::string_view mpiexec) {
    if (nprocs != 1) return {};
    // 0. the user says this process is a job of its own
    const char* single = env(single_job_variable);
    if (single != nullptr && std::string_view(single) == "1") return {};
    const auto refuse = [&](std::string_view who, long size, long rank, bool print_any) {
        return parallel::refuse(who, size, rank, print_any, family, mpiexec, single);
    };
    const MpiLauncher* many = nullptr;
    long many_size = 0;
    for (const MpiLauncher& l : mpi_launchers) {
        const long size = number(env, l.size);
        if (size == 1) return {};
        if (size > 1 && many == nullptr) many = &l, many_size = size;
    }
    if (many != nullptr) return refuse(many->name, many_size, number(env, many->rank), false);
    for (const MpiLauncher& l : mpi_launchers)
        if (env(l.size) != nullptr) return {};  // present but not a count: not ours to judge

    const long pmix_rank = number(env, "PMIX_RANK");
    const long step = number(env, "SLURM_STEP_NUM_TASKS");
    const long procid = number(env, "SLURM_PROCID");
    const long rank = pmix_rank >= 0 ? pmix_rank : procid;
    if (step > 1) return refuse("srun", step, rank, false);
    if (step == 1) return {};
    if (pmix_rank > 0) return refuse("a PMIx launcher", 0, pmix_rank, true);
    if (procid > 0) return refuse("srun", 0, procid, true);
    return {};
}

namespace {

// The MPI family this program is built with and the path of its launcher.
std::string_view linked_mpi_family() { return TARVEL_MPI_FAMILY; }
std::string_view linked_mpiexec() { return TARVEL_MPIEXEC_PATH; }

}  // namespace

LaunchCheck check_launcher(std::int32_t nprocs) {
    return check_launcher(nprocs, [](const char* name) -> const char* { return std::getenv(name); },
                          linked_mpi_family(), linked_mpiexec());
}

}  // namespace parallel
