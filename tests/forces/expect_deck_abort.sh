#!/usr/bin/env bash
# expect_deck_abort.sh MPIEXEC NPROCS TARVEL DECKDIR RUNDIR TEXT [RC]
# Runs a deck folder (in a fresh copy) that must end the whole job through a
# fatal stop: passes when the job exits nonzero (with the code RC when
# given) within 30 s (no process left waiting; a 60 s guard ends a hung
# job) and its output holds TEXT.
set -u
mpiexec=$1; np=$2; tarvel=$3; deck=$4; run=$5; text=$6; want_rc=${7:-}
rm -rf "$run"; mkdir -p "$run"; cp -r "$deck"/. "$run"/; cd "$run" || exit 2
start=$(date +%s)
timeout 60 "$mpiexec" -n "$np" "$tarvel" >stdout.txt 2>stderr.txt </dev/null
rc=$?
elapsed=$(( $(date +%s) - start ))
tail -20 stdout.txt
echo "exit code $rc after $elapsed s"
if [ "$rc" = 0 ]; then echo "the job ended with exit code 0"; exit 1; fi
if [ "$rc" = 124 ]; then echo "the job hung"; exit 1; fi
if [ -n "$want_rc" ] && [ "$rc" != "$want_rc" ]; then echo "exit code $rc, expected $want_rc"; exit 1; fi
if [ "$elapsed" -gt 30 ]; then echo "the job took too long to end"; exit 1; fi
if ! grep -qF -- "$text" stdout.txt; then echo "missing line: $text"; exit 1; fi
exit 0
