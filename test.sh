#!/usr/bin/env bash
# ./test.sh: installs what is missing, builds and runs the whole test suite
# through CTest, then builds the unit tests once more under AddressSanitizer
# and UndefinedBehaviorSanitizer and runs them, and last fuzzes the deck
# reader and the driver's layers for a bounded time (clang's libFuzzer, under
# the same sanitizers; CTest label "fuzz").
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/tools/deps.sh"
tarvel_ensure_deps
tarvel_ensure_fuzz_deps
jobs=$(tarvel_jobs)

cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$jobs"
(cd "$here/build" && ctest --output-on-failure -j "$jobs")

cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTARVEL_SANITIZE=ON -DTARVEL_BENCH=OFF >/dev/null
cmake --build "$here/build-asan" -j "$jobs"
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -L unit)

cmake -S "$here" -B "$here/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
   -DTARVEL_FUZZ=ON -DTARVEL_TESTS=OFF -DTARVEL_BENCH=OFF >/dev/null
cmake --build "$here/build-fuzz" --target tarvel_deck_fuzz -j "$jobs"
(cd "$here/build-fuzz" && ctest --output-on-failure -L fuzz)
cat "$here/build-fuzz/fuzz/run/summary.txt"
