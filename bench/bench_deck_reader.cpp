// Throughput of the deck reader: a large particle-list-like block read
// token by token through the command reader, and through the block parser.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/files.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"

namespace {

namespace fs = std::filesystem;

// Writes a deck of ncards cards of seven numbers each into a fresh folder.
fs::path write_deck(int ncards) {
    fs::path dir = fs::temp_directory_path() / "tarvel_bench_deck";
    fs::create_directories(dir);
    std::ofstream out(dir / "tarvel.in");
    out << "{\n";
    for (int k = 0; k < ncards; ++k)
        out << "  1.0e-3, -2.5e-4 0.0 1.0e9 ; 0.001 0.0 -1.0e-12 ! particle " << k << "\n";
    out << "}\n";
    return dir;
}

void open_deck(const fs::path& dir) {
    foundation::unit_close_all();
    foundation::iopcom = foundation::Iopcom{};
    foundation::fincom = foundation::Fincom{};
    std::int32_t ierr = 0;
    foundation::fiinit((dir / "tarvel.in").string(), static_cast<int>((dir / "tarvel.in").string().size()), ierr);
    foundation::inprsr(ierr);
}

void BM_TokensThroughCommandReader(benchmark::State& state) {
    const int ncards = static_cast<int>(state.range(0));
    const fs::path dir = write_deck(ncards);
    std::int64_t tokens = 0;
    for (auto _ : state) {
        open_deck(dir);
        std::string cmd;
        std::int32_t ierr = 0;
        for (;;) {
            foundation::getcmd(cmd, ierr);
            if (ierr != 0 || cmd == "exit") break;
            ++tokens;
        }
        benchmark::DoNotOptimize(cmd);
    }
    foundation::unit_close_all();
    state.SetItemsProcessed(tokens);
    fs::remove_all(dir);
}
BENCHMARK(BM_TokensThroughCommandReader)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_BlockParserEntries(benchmark::State& state) {
    const int nentries = static_cast<int>(state.range(0));
    fs::path dir = fs::temp_directory_path() / "tarvel_bench_block";
    fs::create_directories(dir);
    {
        std::ofstream out(dir / "tarvel.in");
        out << "{\n";
        for (int k = 0; k < nentries; ++k) out << "  alpha = " << k << " beta = name" << k << " flag\n";
        out << "}\n";
    }
    constexpr std::array<std::string_view, 3> cid = {"alpha", "beta", "flag"};
    constexpr std::array<int, 3> nuval = {1, 2, 2};
    constexpr std::array<ftypes::Logical, 3> lvalid = {true, true, true};
    std::array<std::string, 2> cval;
    std::array<ftypes::Logical, 3> lset;
    std::array<std::int32_t, 2> vtype;
    for (auto _ : state) {
        open_deck(dir);
        std::int32_t ierr = 0;
        foundation::assygn(foundation::getcmd, foundation::getagu, 3, cid, nuval, 2, cval, lvalid, lset, vtype, ierr);
        benchmark::DoNotOptimize(ierr);
    }
    foundation::unit_close_all();
    state.SetItemsProcessed(state.iterations() * nentries);
    fs::remove_all(dir);
}
BENCHMARK(BM_BlockParserEntries)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
