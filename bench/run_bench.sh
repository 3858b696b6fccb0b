#!/usr/bin/env bash
# bench/run_bench.sh [SECTION ...]
# The benchmarks of tarvel in one command. Builds Release with the
# benchmarks in build-bench and prints, section by section (all by default):
#
#   free       whole force-free runs of the real executable through the
#              sector dipole of examples/sector_dipole, 1e3 to 3e5 particles
#              (FREE_N to change them), one process: wall time, time steps,
#              particle-steps per second, peak resident memory;
#   projected  one evaluation of "projected" (bench_force1) on a Gaussian
#              bunch of 1e3 to 3e5 particles deep in a bend: milliseconds per
#              evaluation, against the anchor of 16 ms per kick for 1e5
#              particles (a widely used Python one-dimensional CSR kick on
#              this machine class), and the peak resident memory. The model
#              runs on the master alone, so its time does not depend on the
#              process count;
#   p2p        one evaluation of "csr_p_to_p" (run_bench_force2.sh) at
#              N = 100, 300 and 1000 (P2P_N) on 1, 2, 4 and 8 processes
#              (PROCS): seconds per evaluation, field calls per second and
#              process, parallel efficiency, peak resident memory per
#              process;
#   mesh       one evaluation of the mesh models (bench_mesh) on 1 to 8
#              processes: csr_p_to_m at N = 2000 and 10000 (MESH_OBS_N),
#              csr_g_to_p and csr_g_to_m at 2000 and 10000 (MESH_GREEN_N),
#              csr_g_to_m at 1e5 (MESH_GREEN_M_N), and the sparse mesh
#              (csr_g_to_m on some 1e9 samples of which a tiny share is
#              needed): seconds per evaluation, observers, parallel
#              efficiency, peak resident memory; then the seconds of each
#              step of every evaluation on the master and the slowest slave;
#   work       the calibration of the work estimate of a Green's function
#              (bench_mesh work) at 1 and 4 processes (WORK_PROCS):
#              csr_g_to_p and csr_g_to_m on some 5e3 to 5e10 samples, the
#              estimate in field calls against the fastest of three
#              evaluations that make the function, and the microseconds a
#              field call of work takes on each process;
#   chicane    whole runs of the benchmark chicane (examples/
#              benchmark_chicane) with "projected" (one process) and
#              "csr_p_to_p", "csr_g_to_m" (1 to 8 processes) for 101 and 201 particles
#              (CHICANE_N; CHICANE_MODELS the models): wall time, time steps,
#              force evaluations, peak resident memory.
#
# The machine's processor count and load average are printed first and
# last: the process counts beyond the free processors measure the machine's
# other jobs as much as the program.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/deps.sh"
tarvel_ensure_deps
sections=${*:-free projected p2p mesh work chicane}
build=$here/build-bench
tarvel_configure "$here" "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=mpich -DTARVEL_TESTS=OFF -DTARVEL_BENCH=ON
if ! log=$(cmake --build "$build" --target tarvel bench_force1 bench_force2 bench_mesh -j "$(tarvel_jobs)" 2>&1); then
  echo "$log"; echo "build failed"; exit 1
fi
exe=$build/tarvel
# every job starts through the launcher of the MPI the build is linked with
mpiexec=$build/tarvel_mpiexec
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvel_bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

machine() {
  printf '%s: %s processors, load average %s\n' "$1" "$(nproc)" \
    "$(awk '{ print $1, $2, $3 }' /proc/loadavg 2>/dev/null || echo '?')"
}
machine "machine"
grep -m1 'model name' /proc/cpuinfo 2>/dev/null | sed 's/^.*: /processor: /' || true

# time in seconds with nanoseconds (date +%s.%N; whole seconds where %N is
# not supported)
now() { local t; t=$(date +%s.%N); case $t in *N) date +%s ;; *) echo "$t" ;; esac; }

# peak resident memory in kB of a command run in the current folder:
# /usr/bin/time -v when it is there, else the high-water mark VmHWM of the
# process read from /proc while it runs (the last reading before it ends)
run_measured() {  # run_measured CMD...: sets RC and PEAK_KB; output to run.log
  PEAK_KB=?
  if [ -x /usr/bin/time ] && /usr/bin/time -v true >/dev/null 2>&1; then
    set +e; /usr/bin/time -v -o time.txt "$@" >run.log 2>&1; RC=$?; set -e
    PEAK_KB=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' time.txt)
  else
    "$@" >run.log 2>&1 &
    local pid=$! hwm
    while [ -r "/proc/$pid/status" ]; do
      hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && PEAK_KB=$hwm
      sleep 0.02
    done
    set +e; wait "$pid"; RC=$?; set -e
  fi
}

free_runs() {
  echo
  echo "== tracking without self-force: whole runs through the sector dipole, one process"
  printf '%-9s %9s %7s %14s %16s %12s\n' particles wall/s steps particle-steps particle-steps/s peak-RSS/MB
  for n in ${FREE_N:-1000 10000 100000 300000}; do
    dir=$scratch/free$n; mkdir -p "$dir"; cd "$dir"
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
    run_measured "$exe"
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
  echo "steps: time steps of the run (the log's ctstep lines)"
}

projected() {
  echo
  echo "== projected: one evaluation on a Gaussian bunch 6 m into a bend of R = 10 m (bench_force1),"
  echo "   sigma_long = 0.1 sigma_b (last line: 0.002 sigma_b, a grid of some 33000 points)"
  dir=$scratch/projected; mkdir -p "$dir"; cd "$dir"
  run_measured "$build/bench/bench_force1" --benchmark_filter='BM_force1/' --benchmark_format=csv
  if [ "$RC" != 0 ]; then echo "bench_force1 failed:"; tail -20 run.log; exit 1; fi
  awk -F, -v kb="$PEAK_KB" '
    $1 ~ /BM_force1\// {
      split($1, a, "/"); gsub(/"/, "", a[3]); n = a[2] + 0; t = $3 + 0; u = $5
      if (u == "us") t /= 1000; else if (u == "ns") t /= 1e6; else if (u == "s") t *= 1000
      printf "%9d particles %6d grid points: %9.3f ms per evaluation, %7.1f ns per particle%s\n", n, $NF, t,
             1e6 * t / n, (a[3] == "0" ? "" : "  (fine grid)")
      if (n == 100000 && a[3] == "0") t5 = t
    }
    END {
      if (t5 > 0) printf "1e5 particles: %.2f ms per evaluation against the anchor of 16 ms per kick: %.1f times faster\n", t5, 16 / t5
      printf "peak resident memory of the benchmark (every size): %s MB; the same at any process count (master alone)\n",
             (kb == "?" ? "?" : sprintf("%.1f", kb / 1024))
    }' run.log
  cd "$here"
}

p2p() {
  echo
  echo "== csr_p_to_p: one evaluation of a 1 mm bunch at 1 GeV/c 1.5 m into a bend of R = 2 m (bench_force2)"
  PROCS=${PROCS:-1 2 4 8} bash "$here/bench/run_bench_force2.sh" ${P2P_N:-100 300 1000}
}

# The mesh models (bench_mesh) at each process count: csr_p_to_m at N =
# 2000 and 10000, csr_g_to_p and csr_g_to_m at 2000 and 10000, csr_g_to_m
# at 1e5; csr_p_to_p timed at 300 particles for the ratio (extrapolated
# with N^2).
mesh() {
  echo
  echo "== mesh models: one evaluation of a 1 mm by 0.2 mm bunch at 100 MeV 2.5 m into a bend of R = 5 m,"
  echo "   ellipsoid sub-bunches of 0.3 mm by 0.1 mm, boxes of half of them (bench_mesh)"
  local out=$scratch/mesh.txt steps=$scratch/mesh_steps.txt timer=()
  : >"$out"; : >"$steps"
  if [ -x /usr/bin/time ] && /usr/bin/time -f '%M' true >/dev/null 2>&1; then timer=(/usr/bin/time -f 'rss_kb %M'); fi
  for p in ${PROCS:-1 2 4 8}; do
    for run in "observers ${MESH_OBS_N:-2000 10000}" "green ${MESH_GREEN_N:-2000 10000}" "green_m ${MESH_GREEN_M_N:-100000}" sparse; do
      # shellcheck disable=SC2086
      TARVEL_BENCH_NREF=300 "$mpiexec" -n "$p" "${timer[@]}" "$build/bench/bench_mesh" $run >"$out.run" 2>"$out.err" ||
        { cat "$out.err"; exit 1; }
      awk -v p="$p" '$1 == "rss_kb" && $2 + 0 > m { m = $2 + 0 } END { printf "RSS %d %s\n", p, m }' "$out.err" >>"$out"
      grep -E '^(csr_(p_to_m|g_to_p|g_to_m)|sparse csr_g_to_m) N=' "$out.run" >>"$out" || true
      grep -E '^(csr_|sparse |  step)' "$out.run" >>"$steps" || true
    done
  done
  awk '
    $1 == "RSS" { if ($3 + 0 > rss[$2] + 0) rss[$2] = $3; next }
    {
      m = $1; match($0, /N= *[0-9]+/); n = substr($0, RSTART + 2, RLENGTH - 2) + 0
      match($0, /P=[0-9]+/); p = substr($0, RSTART + 2, RLENGTH - 2) + 0
      match($0, /; [0-9.]+ s/); t = substr($0, RSTART + 2, RLENGTH - 4) + 0
      obs = "-"; if (match($0, /[0-9]+ observers/)) obs = substr($0, RSTART, RLENGTH - 10) + 0
      k = m SUBSEP n
      if (!(k in seen)) { seen[k] = 1; key[++nk] = k; name[nk] = m; cnt[nk] = n }
      T[k, p] = t; O[k] = obs
      if (!(p in ps)) { ps[p] = 1; pl[++np] = p }
    }
    END {
      printf "%-11s %7s %10s %3s %12s %11s\n", "model", "N", "observers", "P", "s/eval", "efficiency"
      for (i = 1; i <= nk; i++) for (j = 1; j <= np; j++) {
        k = key[i]; p = pl[j]; if (!((k, p) in T)) continue
        e = ((k, 1) in T) && T[k, p] > 0 ? sprintf("%10.1f%%", 100 * T[k, 1] / (p * T[k, p])) : "         -"
        printf "%-11s %7d %10s %3d %12.4f %11s\n", name[i], cnt[i], O[k], p, T[k, p], e
      }
      for (j = 1; j <= np; j++)
        printf "peak resident memory at %d processes: %.1f MB per process (the largest)\n", pl[j], rss[pl[j]] / 1024
    }' "$out"
  echo "observers: field points of csr_p_to_m and csr_g_to_m (box corners and lone particles), every particle for csr_g_to_p;"
  echo "sparse: csr_g_to_m at N = 21 on a mesh of some 1e9 samples (bench_mesh sparse)"
  echo
  echo "== mesh models, seconds per step of each evaluation (csr_g_to_p and csr_g_to_m: the one that makes the"
  echo "   Green's function, then one that reuses it): the master and the slowest slave; (direct) and (paths) are"
  echo "   parts of lookups and fields"
  cat "$steps"
}

# The work estimate of a Green's function against its time (bench_mesh
# work): one table row per function and process count.
work() {
  echo
  echo "== work of a Green's function: estimate (field calls) against the fastest of three evaluations"
  echo "   that make it, the bunch of the mesh section (bench_mesh work)"
  printf '%-10s %6s %8s %9s %6s %10s %10s %3s %9s %12s\n' model N sigma_long samples chunks look-ups work P s/eval \
    us/work/proc
  for p in ${WORK_PROCS:-1 4}; do
    "$mpiexec" -n "$p" "$build/bench/bench_mesh" work >"$scratch/work.txt" 2>"$scratch/work.err" ||
      { cat "$scratch/work.err"; exit 1; }
    awk '$1 == "work" {
      for (k = 1; k <= NF; k++) {
        if ($k ~ /^N=/) n = substr($k, 3); if ($k ~ /^sigma_long=/) sl = substr($k, 12)
        if ($k ~ /^P=/) p = substr($k, 3) + 0
        if ($(k + 1) == "samples" && $(k + 2) == "in") { s = $k; c = $(k + 3) }
        if ($(k + 1) == "look-ups,") l = $k; if ($(k + 1) == "field" && $(k - 1) == "work") w = $k
        if ($(k + 1) == "s;") t = $k; if ($(k + 1) == "us") u = $k
      }
      printf "%-10s %6s %8s %9s %6s %10s %10s %3d %9s %12s\n", $2, n, sl, s, c, l, w, p, t, u }' "$scratch/work.txt"
  done
}

# Whole runs of the benchmark chicane (examples/benchmark_chicane): the
# deck's lattice and bunch generator, one model per run.
chicane() {
  echo
  echo "== whole runs of the benchmark chicane (examples/benchmark_chicane, 16 m, one model per run)"
  printf '%-11s %6s %3s %9s %7s %11s %12s\n' model N P wall/s steps evaluations peak-RSS/MB
  local ex=$here/examples/benchmark_chicane
  for model in ${CHICANE_MODELS:-projected csr_p_to_p csr_g_to_m}; do
    # the mesh models with the example's ellipsoid sub-bunches, 50 um across
    extra=""
    case $model in csr_p_to_m|csr_g_to_p|csr_g_to_m) extra="shape = ellipsoid  sigma_rad = 5e-5  sigma_vert = 5e-5" ;; esac
    for n in ${CHICANE_N:-101 201}; do
      for p in ${PROCS:-1 2 4 8}; do
        # the projected model runs on the master alone: one process
        [ "$model" = projected ] && [ "$p" != 1 ] && continue
        dir=$scratch/chicane_${model}_${n}_$p; mkdir -p "$dir"; cd "$dir"
        awk -v n="$n" -f "$ex/bunch.awk" >bunch.in
        { sed -n '/^lattice/,/^track_step/p' "$ex/tarvel.in"
          echo "#file { name = bunch.in }"
          echo "forces { type = $model  sigma_long = relative  relative_long = 0.1  $extra }"
          echo "online_monitor { name = steps.dat  type = steps  start_time_c0 = now  end_time_marker = end  time_step_c0 = all }"
          echo "tracker { end_time_marker = end }"
        } >tarvel.in
        t0=$(now)
        run_measured "$mpiexec" -n "$p" "$exe"
        t1=$(now)
        if [ "$RC" != 0 ]; then echo "run of $model, $n particles, $p processes failed:"; tail -20 run.log; exit 1; fi
        steps=$(grep -c 'ctstep=' run.log || true)
        evals=$(awk '{ s = 0; for (k = 4; k <= 8; k++) s += $k } END { print s + 0 }' steps.dat)
        awk -v m="$model" -v n="$n" -v p="$p" -v t0="$t0" -v t1="$t1" -v s="$steps" -v e="$evals" -v kb="$PEAK_KB" 'BEGIN {
          printf "%-11s %6d %3d %9.2f %7d %11d %12s\n", m, n, p, t1 - t0, s, e,
                 (kb == "?" ? "?" : sprintf("%.1f", kb / 1024)) }'
        cd "$here"
      done
    done
  done
  echo "peak-RSS: the largest process of the job"
}

for s in $sections; do
  case $s in
    free) free_runs ;;
    projected) projected ;;
    p2p) p2p ;;
    mesh) mesh ;;
    work) work ;;
    chicane) chicane ;;
    *) echo "unknown section $s (free, projected, p2p, mesh, work, chicane)"; exit 1 ;;
  esac
done
echo
machine "at the end"
