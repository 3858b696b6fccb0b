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

# The deck fuzz target of the test suite: clang with its runtime libraries
# (libFuzzer and the sanitizers) and the symbolizer of its reports.
tarvel_ensure_fuzz_deps() {
  tarvel_install_missing clang libclang-rt-dev llvm
}

# Number of parallel build jobs.
tarvel_jobs() { nproc 2>/dev/null || echo 2; }
