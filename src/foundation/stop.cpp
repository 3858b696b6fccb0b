#include "foundation/stop.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace foundation {
namespace {

JobEnd job_end = nullptr;  // how a fatal stop ends the job (set_job_end)

}  // namespace

void stdout_line(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    // every line leaves at once: a job ended by another process's fatal
    // stop must not lose the lines this process has already written
    std::fflush(stdout);
}

void fatal_stop(std::string_view message) {
    if (!message.empty()) stdout_line(message);  // an empty message prints no line
    // every stream written: the files open on the units of the plan,
    // standard output and standard error
    std::fflush(nullptr);
    if (job_end != nullptr) job_end(1);
    std::_Exit(1);
}

void set_job_end(JobEnd end) { job_end = end; }

void operator_pause(std::string_view message) {
    stdout_line(message);
    std::fflush(stdout);
}

}  // namespace foundation
