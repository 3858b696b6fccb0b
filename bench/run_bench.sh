#!/usr/bin/env bash
# bench/run_bench.sh [N ...]
# Whole force-free runs of the real executable through the sector dipole of
# examples/sector_dipole (30 degrees, radius 5 m, 1 m drifts on both sides),
# for bunches of 1e3, 1e4, 1e5 and 3e5 particles (or the counts given), one
# process. Builds Release in build-release like run.sh, writes each deck into
# a scratch folder (particle list made with awk), and prints per run: the
# wall time, the time steps, particle-steps per second and the peak resident
# memory of the tracking process. The run reads the list, tracks to the
# marker "end" and writes the final phase space in fmt1.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/deps.sh"
tarvel_ensure_deps
if ! log=$(cmake -S "$here" -B "$here/build-release" -DCMAKE_BUILD_TYPE=Release -DTARVEL_TESTS=OFF \
             -DTARVEL_BENCH=OFF 2>&1 && cmake --build "$here/build-release" --target tarvel -j "$(tarvel_jobs)" 2>&1); then
  echo "$log"; echo "build failed"; exit 1
fi
exe=$here/build-release/tarvel
counts=${*:-1000 10000 100000 300000}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvel_bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# time in seconds with nanoseconds (date +%s.%N; whole seconds where %N is
# not supported)
now() { local t; t=$(date +%s.%N); case $t in *N) date +%s ;; *) echo "$t" ;; esac; }

# peak resident memory in kB of the command run in the current folder:
# /usr/bin/time -v when it is there, else the high-water mark VmHWM of the
# process read from /proc while it runs (the last reading before it ends)
run_measured() {  # sets RC and PEAK_KB; output to run.log
  PEAK_KB=?
  if [ -x /usr/bin/time ] && /usr/bin/time -v true >/dev/null 2>&1; then
    set +e; /usr/bin/time -v -o time.txt "$exe" >run.log 2>&1; RC=$?; set -e
    PEAK_KB=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' time.txt)
  else
    "$exe" >run.log 2>&1 &
    local pid=$! hwm
    while [ -r "/proc/$pid/status" ]; do
      hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && PEAK_KB=$hwm
      sleep 0.02
    done
    set +e; wait "$pid"; RC=$?; set -e
  fi
}

printf '%-9s %9s %7s %14s %16s %12s\n' particles wall/s steps particle-steps particle-steps/s peak-RSS/MB
for n in $counts; do
  dir=$scratch/n$n; mkdir -p "$dir"; cd "$dir"
  # the deck: the sector-dipole lattice and n particles, the reference at
  # 1 GeV/c and the others spread (uniformly) over +-1 mm in x, y, z,
  # +-1e-3 in momentum and +-1e-4 in direction
  awk -v n="$n" 'BEGIN {
    srand(12345)
    print "lattice {"
    print "  dipole { position { rho = 1.0 marker = bend_entry } properties { r = 5.0 }"
    print "           position { delta_s = 2.6179938779914944 marker = bend_exit } }"
    print "  dipole { position { delta_s = 1.0 marker = end } }"
    print "}"
    print "particles {"
    print "  format = fmt1"
    print "  array = 0.0 0 0 0 0 0 0"
    print "  0.0 0.0 0.0 1.0e9 0.0 0.0 -1.0e-15"
    for (i = 2; i <= n; i++)
      printf "  %.6e %.6e %.6e %.6e %.6e %.6e -1.0e-15\n", 2e-3 * (rand() - 0.5), 2e-3 * (rand() - 0.5),
             2e-3 * (rand() - 0.5), 2e6 * (rand() - 0.5), 2e5 * (rand() - 0.5), 2e5 * (rand() - 0.5)
    print "}"
    print "tracker { end_time_marker = end }"
    print "monitor { format = fmt1 name = final.dat }"
  }' >tarvel.in
  t0=$(now)
  run_measured
  t1=$(now)
  if [ "$RC" != 0 ] || [ ! -f final.dat ]; then
    echo "run of $n particles failed (exit code $RC):"; tail -20 run.log; exit 1
  fi
  steps=$(grep -c 'ctstep=' run.log || true)
  awk -v n="$n" -v t0="$t0" -v t1="$t1" -v s="$steps" -v kb="$PEAK_KB" 'BEGIN {
    w = t1 - t0; ps = n * s
    printf "%-9d %9.3f %7d %14d %16.3e %12s\n", n, w, s, ps, (w > 0 ? ps / w : 0),
           (kb == "?" ? "?" : sprintf("%.1f", kb / 1024)) }'
  cd "$here"
done
echo "wall time: the whole run (start-up, reading the list, tracking, writing final.dat);"
echo "steps: time steps of the run (the log's ctstep lines); one process, force type none"
