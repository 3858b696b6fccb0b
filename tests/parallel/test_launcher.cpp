// The launcher check at start-up: which environments of a job that MPI
// reports as one process are refused, and which process prints the line.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "parallel/launcher.hpp"

namespace {

using Env = std::map<std::string, std::string>;

constexpr const char* mpiexec = "/opt/mpich/bin/mpiexec";

parallel::LaunchCheck check(int nprocs, const Env& env) {
    return parallel::check_launcher(
        nprocs,
        [&env](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        },
        "MPICH", mpiexec);
}

TEST(LauncherCheck, EnvironmentsOfOneProcessJobs) {
    const std::string tail = std::string(", each of which MPICH sees as a job of its own: start tarvel with ") + mpiexec;
    const std::string way_out = "\n (independent one-process runs, each in its own folder: set TARVEL_SINGLE_JOB=1";
    struct Case {
        const char* name;
        int nprocs;
        Env env;
        std::string line;  // empty: the job runs
        bool print;
    };
    const Case cases[] = {
        {"plain start, no launcher", 1, {}, "", false},
        {"MPI sees the whole job", 2, {{"OMPI_COMM_WORLD_SIZE", "2"}, {"OMPI_COMM_WORLD_RANK", "1"}}, "", false},
        {"Open MPI's mpiexec -n 2, process 0", 1,
         {{"OMPI_COMM_WORLD_SIZE", "2"}, {"OMPI_COMM_WORLD_RANK", "0"}, {"PMIX_RANK", "0"}},
         " error: Open MPI's launcher started 2 processes" + tail + " -n 2" + way_out + ")", true},
        {"Open MPI's mpiexec -n 2, process 1", 1,
         {{"OMPI_COMM_WORLD_SIZE", "2"}, {"OMPI_COMM_WORLD_RANK", "1"}, {"PMIX_RANK", "1"}},
         " error: Open MPI's launcher started 2 processes" + tail + " -n 2" + way_out + ")", false},
        {"Hydra -n 4 for another MPI", 1, {{"PMI_SIZE", "4"}, {"PMI_RANK", "0"}},
         " error: a PMI launcher (Hydra, MPICH's mpiexec) started 4 processes" + tail + " -n 4" + way_out + ")", true},
        {"mpiexec -n 1 in an allocation of 16, daemons started by srun", 1,
         {{"PMI_SIZE", "1"}, {"PMI_RANK", "0"}, {"SLURM_NTASKS", "16"}, {"SLURM_STEP_NUM_TASKS", "2"},
          {"SLURM_PROCID", "1"}},
         "", false},
        {"Open MPI's mpiexec -n 1 in an allocation of 16", 1,
         {{"OMPI_COMM_WORLD_SIZE", "1"}, {"SLURM_NTASKS", "16"}, {"SLURM_STEP_NUM_TASKS", "16"}}, "", false},
        {"mpiexec -n 1 started inside a job of another launcher", 1,
         {{"OMPI_COMM_WORLD_SIZE", "2"}, {"OMPI_COMM_WORLD_RANK", "1"}, {"PMI_SIZE", "1"}}, "", false},
        {"plain ./tarvel in a batch script of 16 tasks", 1,
         {{"SLURM_NTASKS", "16"}, {"SLURM_NPROCS", "16"}, {"SLURM_PROCID", "0"}, {"SLURM_JOB_ID", "7"}}, "",
         false},
        {"srun -n 1 in an allocation of 16", 1,
         {{"SLURM_NTASKS", "16"}, {"SLURM_STEP_NUM_TASKS", "1"}, {"SLURM_PROCID", "0"}}, "", false},
        {"srun -n 4, task 0", 1, {{"SLURM_STEP_NUM_TASKS", "4"}, {"SLURM_PROCID", "0"}},
         " error: srun started 4 processes" + tail + " -n 4" + way_out + ")", true},
        {"srun -n 4 with PMIx, task 3", 1,
         {{"SLURM_STEP_NUM_TASKS", "4"}, {"SLURM_PROCID", "3"}, {"PMIX_RANK", "3"}},
         " error: srun started 4 processes" + tail + " -n 4" + way_out + ")", false},
        {"a PMIx launcher, process 0 cannot know", 1, {{"PMIX_RANK", "0"}}, "", false},
        {"a PMIx launcher, process 2", 1, {{"PMIX_RANK", "2"}},
         " error: a PMIx launcher started several processes" + tail + way_out + ")", true},
        {"srun task 3 without a step size", 1, {{"SLURM_PROCID", "3"}},
         " error: srun started several processes" + tail + way_out + ")", true},
        {"srun -n 2 of a parameter scan, each task a job of its own", 1,
         {{"SLURM_STEP_NUM_TASKS", "2"}, {"SLURM_PROCID", "1"}, {"TARVEL_SINGLE_JOB", "1"}}, "", false},
        {"Open MPI's mpiexec -n 2, each process a job of its own", 1,
         {{"OMPI_COMM_WORLD_SIZE", "2"}, {"OMPI_COMM_WORLD_RANK", "0"}, {"TARVEL_SINGLE_JOB", "1"}}, "", false},
        {"the way out set to another value", 1,
         {{"SLURM_STEP_NUM_TASKS", "2"}, {"SLURM_PROCID", "0"}, {"TARVEL_SINGLE_JOB", "yes"}},
         " error: srun started 2 processes" + tail + " -n 2" + way_out + ", not 'yes')", true},
        {"the way out set to 0", 1,
         {{"SLURM_STEP_NUM_TASKS", "2"}, {"SLURM_PROCID", "0"}, {"TARVEL_SINGLE_JOB", "0"}},
         " error: srun started 2 processes" + tail + " -n 2" + way_out + ", not '0')", true},
        {"sizes that are not numbers", 1, {{"OMPI_COMM_WORLD_SIZE", "two"}, {"SLURM_STEP_NUM_TASKS", "4"}}, "",
         false},
        {"an empty size", 1, {{"PMI_SIZE", ""}, {"PMI_RANK", "1"}}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const parallel::LaunchCheck got = check(c.nprocs, c.env);
        EXPECT_EQ(got.line, c.line);
        if (!c.line.empty()) {
            EXPECT_EQ(got.print, c.print);
        }
    }
}

}  // namespace
