#!/usr/bin/env bash
# Installs, on Debian, the packages the build needs when they are missing.
# Sourced by run.sh and test.sh; fast when everything is present.
tarvel_ensure_deps() {
  local pkgs="cmake g++ make libmpich-dev mpich libgtest-dev libgmock-dev libbenchmark-dev"
  local missing=""
  for p in $pkgs; do
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

# Number of parallel build jobs.
tarvel_jobs() { nproc 2>/dev/null || echo 2; }
