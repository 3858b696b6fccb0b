#!/usr/bin/env bash
# Installs, on Debian, the packages the build needs when they are missing.
# Sourced by run.sh and test.sh; fast when everything is present.

# Installs those of the named packages that are missing.
tarvel_install_missing() {
  local missing=""
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
  done
  if [ -n "$missing" ]; then
    echo "installing:$missing"
    local sudo=""
    [ "$(id -u)" != 0 ] && sudo="sudo"
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null || return 1
  fi
}

tarvel_ensure_deps() {
  tarvel_install_missing cmake g++ make libmpich-dev mpich libgtest-dev libgmock-dev libbenchmark-dev
}

# Open MPI, the second MPI the program is built and tested with (installing
# it makes it the system's default MPI; the build keeps to the family it
# is told, see cmake/TarvelMPI.cmake).
tarvel_ensure_openmpi_deps() {
  tarvel_install_missing libopenmpi-dev openmpi-bin
}

# tarvel_configure SOURCE_DIR BUILD_DIR [CMAKE_ARGS...]
# Configures a build folder quietly. When the configure fails, cmake's
# messages are shown and the folder's cache is removed (CMakeCache.txt and
# CMakeFiles/), so that nothing found or not found in the failed attempt
# (an MPI_CXX_COMPILER-NOTFOUND, say) outlives it: the next run after the
# cause is fixed configures afresh.
tarvel_configure() {
  local src=$1 dir=$2 log
  shift 2
  if ! log=$(cmake -S "$src" -B "$dir" "$@" 2>&1); then
    echo "$log"
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    echo "configure of $dir failed; its cache is removed, the next run configures afresh"
    return 1
  fi
}

# The deck fuzz target of the test suite: clang with its runtime libraries
# (libFuzzer and the sanitizers) and the symbolizer of its reports.
tarvel_ensure_fuzz_deps() {
  tarvel_install_missing clang libclang-rt-dev llvm
}

# Number of parallel build jobs.
tarvel_jobs() { nproc 2>/dev/null || echo 2; }
