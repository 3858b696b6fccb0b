#!/usr/bin/env bash
# ./test.sh [--openmpi]
# Installs what is missing, builds against MPICH and runs the whole test
# suite through CTest; builds against Open MPI and runs the tests labelled
# "openmpi" (the message layer and a few end-to-end decks at 1 to 4
# processes, with the launcher of Open MPI); then builds the unit tests once
# more under AddressSanitizer and UndefinedBehaviorSanitizer and runs them,
# and last fuzzes the deck reader and the driver's layers for a bounded time
# (clang's libFuzzer, under the same sanitizers; CTest label "fuzz").
# With --openmpi: the whole suite built against Open MPI, and nothing else.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
openmpi_suite=0
case "${1:-}" in
  --openmpi) openmpi_suite=1 ;;
  "") ;;
  *) echo "usage: ./test.sh [--openmpi]"; exit 2 ;;
esac
. "$here/tools/deps.sh"
tarvel_ensure_deps
tarvel_ensure_openmpi_deps
jobs=$(tarvel_jobs)

if [ $openmpi_suite = 1 ]; then
  tarvel_configure "$here" "$here/build-openmpi" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=openmpi -DTARVEL_BENCH=OFF
  cmake --build "$here/build-openmpi" -j "$jobs"
  (cd "$here/build-openmpi" && ctest --output-on-failure -j "$jobs")
  exit 0
fi
tarvel_ensure_fuzz_deps

tarvel_configure "$here" "$here/build" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=mpich
cmake --build "$here/build" -j "$jobs"
(cd "$here/build" && ctest --output-on-failure -j "$jobs")

# Open MPI: only what the tests of label "openmpi" run
tarvel_configure "$here" "$here/build-openmpi" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=openmpi -DTARVEL_BENCH=OFF
cmake --build "$here/build-openmpi" --target tarvel par_tests par_run_tests -j "$jobs"
(cd "$here/build-openmpi" && ctest --output-on-failure -j "$jobs" -L openmpi)

tarvel_configure "$here" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTARVEL_MPI=mpich -DTARVEL_SANITIZE=ON \
   -DTARVEL_BENCH=OFF
cmake --build "$here/build-asan" -j "$jobs"
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -L unit)

tarvel_configure "$here" "$here/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
   -DTARVEL_MPI=mpich -DTARVEL_FUZZ=ON -DTARVEL_TESTS=OFF -DTARVEL_BENCH=OFF
cmake --build "$here/build-fuzz" --target tarvel_deck_fuzz -j "$jobs"
(cd "$here/build-fuzz" && ctest --output-on-failure -L fuzz)
cat "$here/build-fuzz/fuzz/run/summary.txt"
