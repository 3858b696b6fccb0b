#!/usr/bin/env bash
# run_fuzz.sh FUZZER SOURCE_TREE RUNDIR SECONDS [LIBFUZZER_OPTIONS...]
# Seeds a fresh corpus with every deck of the repository and fuzzes the deck
# reader and the driver's layers for SECONDS under AddressSanitizer and
# UndefinedBehaviorSanitizer. Fails when an input crashes, hangs (10 s),
# trips a sanitizer or a check of the fuzz target; the input is then kept in
# RUNDIR (crash-*, timeout-*, ...): fuzz/unpack.sh turns it into a deck folder.
# The mutations start from a fixed seed, so a run repeats itself (a slower
# machine runs a prefix of the same inputs); give -seed=N among the options
# to explore others.
set -u
fuzzer=$1; src=$2; run=$3; seconds=$4; shift 4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$run"; mkdir -p "$run/corpus"
bash "$here/make_seeds.sh" "$src" "$run/seeds" || exit 2
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$fuzzer" -dict="$here/deck.dict" -max_len=8192 -timeout=10 -rss_limit_mb=4096 \
  -max_total_time="$seconds" -seed=1 -print_final_stats=1 -artifact_prefix="$run/" "$@" \
  "$run/corpus" "$run/seeds" >"$run/fuzz.log" 2>&1
rc=$?
grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss)' "$run/fuzz.log" |
  sort -u | tee "$run/summary.txt"
if [ $rc != 0 ]; then
  echo "the fuzz run failed (exit code $rc); the end of its log:"
  tail -60 "$run/fuzz.log"
  ls "$run" | grep -E '^(crash|timeout|oom|leak|slow-unit)-' || true
fi
exit $rc
