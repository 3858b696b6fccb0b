// The launcher check at start-up: a program linked with one MPI and started
// by the launcher of another runs as N separate one-process jobs (N
// masters writing the same files). The environment that launchers give
// their processes shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace parallel {

// The result of the check: line is empty when the job can run; otherwise
// the line that refuses it, which this process prints when print is set
// (one process of the job prints it, where the launcher says which).
struct LaunchCheck {
    std::string line;
    bool print = false;
};

// The variable that says "this process is a job of its own" when it is 1:
// the check lets it run (independent one-process runs started side by side,
// each in its own folder).
inline constexpr const char* single_job_variable = "TARVEL_SINGLE_JOB";

// Looks a variable up in the environment: its value, or nullptr.
using EnvLookup = std::function<const char*(const char*)>;

// The check of a job in which MPI reports nprocs processes, with the
// environment env, for a program linked with the MPI family (its name, as
// "MPICH") whose launcher is mpiexec (its path).
LaunchCheck check_launcher(std::int32_t nprocs, const EnvLookup& env, std::string_view family,
                           std::string_view mpiexec);

// The same with the process's environment, the MPI family this program is
// built with and the path of its launcher.
LaunchCheck check_launcher(std::int32_t nprocs);

}  // namespace parallel
