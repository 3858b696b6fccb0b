// Reading and writing a full bunch of 300000 particles: a "particles" layer
// reading an "fmt1" list from an included file, and a monitor file written
// in "fmt1". Reported as records (particles) per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "foundation/capacities.hpp"
#include "bunch/prtcls.hpp"
#include "foundation/files.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The scratch folder goes when the process ends.
struct Scratch {
    fs::path dir;
    ~Scratch() {
        if (dir.empty()) return;
        foundation::unit_close_all();
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(dir, ec);
    }
} scratch;

// A scratch folder with the list file and the deck.
const fs::path& folder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tarvel_bench_bunch_" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::FILE* f = std::fopen((d / "list.dat").c_str(), "w");
        std::fprintf(f, "0.0 0 0 0 0 0 0\n0.0 0.0 0.0 1.0e8 0.0 0.0 -1.0e-15\n");
        for (int i = 2; i <= cap::maxprt; ++i)
            std::fprintf(f, "%.14e %.14e %.14e %.14e %.14e %.14e %.14e\n", 1e-9 * i, -2e-9 * i,
                         3e-10 * (i % 7), 1e2 * (i % 11), -3e1 * (i % 5), 1e1 * (i % 3), -1e-15);
        std::fclose(f);
        std::ofstream(d / "tarvel.in") << "{ array = #file { name = list.dat } }\n";
        return d;
    }();
    scratch.dir = dir;
    return dir;
}

void read_bunch() {
    std::int32_t ierr = 0;
    foundation::unit_close_all();
    foundation::fiinit("tarvel.in", 9, ierr);
    foundation::inprsr(ierr);
    // no log lines: the log prints on the master only
    parallel::cmpcom.master = false;
    bunch::lypart(ierr);
    if (ierr != 0 || bunch::prtcls.npart != cap::maxprt) std::abort();
}

void BM_ReadList(benchmark::State& state) {
    fs::current_path(folder());
    for (auto _ : state) read_bunch();
    state.SetItemsProcessed(state.iterations() * cap::maxprt);
}
BENCHMARK(BM_ReadList)->Unit(benchmark::kMillisecond);

void BM_WriteMonitorFile(benchmark::State& state) {
    fs::current_path(folder());
    read_bunch();
    const std::int32_t fmt = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        std::int32_t ierr = 0;
        bunch::monito("out.dat", fmt, ierr);
        if (ierr != 0) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * cap::maxprt);
}
BENCHMARK(BM_WriteMonitorFile)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
