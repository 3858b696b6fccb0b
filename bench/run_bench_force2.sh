#!/usr/bin/env bash
# bench/run_bench_force2.sh [nfb=K] [N ...]
# One "csr_p_to_p" force evaluation (bench_force2.cpp) of N = 200, 1000 and
# 2000 particles (or the counts given) at 1, 2, 4 and 8 processes (PROCS to
# change them), on a lattice of 3 field boundaries (or K). Builds Release in
# build-bench and prints per N and process count: the wall time of one
# evaluation, field calls per second per process, the parallel efficiency
# T(1)/(P T(P)), the work efficiency (the same from the processor time of
# the busiest process's source loop: what a machine without other jobs
# gives, less the command latency), the share of the source loop spent
# building design paths, the processor seconds of the master's and of the
# busiest slave's source loop, and the evaluation time after the master has
# worked alone for 50 ms (the idle slaves' latency in answering the command);
# then the peak resident memory per process at each process count.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/deps.sh"
tarvel_ensure_deps
tarvel_configure "$here" "$here/build-bench" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=mpich -DTARVEL_TESTS=OFF \
  -DTARVEL_BENCH=ON
if ! log=$(cmake --build "$here/build-bench" --target bench_force2 -j "$(tarvel_jobs)" 2>&1); then
  echo "$log"; echo "build failed"; exit 1
fi
exe=$here/build-bench/bench/bench_force2
procs=${PROCS:-1 2 4 8}
out=$(mktemp "${TMPDIR:-/tmp}/bench_force2.XXXXXX")
trap 'rm -f "$out" "$out.err"' EXIT
# every process under /usr/bin/time when it is there: its peak resident
# memory (the largest over the processes, for the largest N of the run)
timer=()
if [ -x /usr/bin/time ] && /usr/bin/time -f '%M' true >/dev/null 2>&1; then timer=(/usr/bin/time -f 'rss_kb %M'); fi
for p in $procs; do
  "$here/build-bench/tarvel_mpiexec" -n "$p" "${timer[@]}" "$exe" "$@" 2>"$out.err" | grep '^N=' >>"$out" || { cat "$out.err"; exit 1; }
  awk -v p="$p" '$1 == "rss_kb" && $2 + 0 > m { m = $2 + 0 } END { printf "RSS %d %s\n", p, (m > 0 ? m : "?") }' \
    "$out.err" >>"$out"
done
awk '
  $1 == "RSS" { rss[$2] = $3; next }
  { n = $2; p = $4; nfb = $6; t[n, p] = $8; fps[n, p] = $10; sh[n, p] = $12; ml[n, p] = $14; sl[n, p] = $16
    g[n, p] = $18
    if (!(n in seen)) { seen[n] = 1; ns[++nn] = n }
    if (!(p in pseen)) { pseen[p] = 1; ps[++np] = p } }
  END {
    printf "lattice of %d field boundaries\n", nfb
    printf "%6s %3s %10s %14s %10s %10s %10s %10s %10s %10s\n", "N", "P", "eval/s", "fields/s/proc",
           "efficiency", "work eff.", "path share", "master/s", "slave/s", "after gap"
    for (i = 1; i <= nn; i++) for (j = 1; j <= np; j++) {
      n = ns[i]; p = ps[j]; if (!((n, p) in t)) continue
      busiest = ml[n, p] > sl[n, p] ? ml[n, p] : sl[n, p]
      e = ((n, 1) in t) ? sprintf("%9.1f%%", 100 * t[n, 1] / (p * t[n, p])) : "         -"
      w = ((n, 1) in t) ? sprintf("%9.1f%%", 100 * ml[n, 1] / (p * busiest)) : "         -"
      printf "%6d %3d %10.4f %14.4e %10s %10s %9.2f%% %10.4f %10s %10.4f\n", n, p, t[n, p], fps[n, p], e, w,
             100 * sh[n, p], ml[n, p], (p > 1 ? sprintf("%.4f", sl[n, p]) : "-"), g[n, p]
    }
    for (j = 1; j <= np; j++)
      printf "peak resident memory at %d processes: %s MB per process (the largest)\n", ps[j],
             (rss[ps[j]] == "?" || rss[ps[j]] == "" ? "?" : sprintf("%.1f", rss[ps[j]] / 1024))
  }' "$out"
