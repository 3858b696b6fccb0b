#!/usr/bin/env bash
# run_deck.sh TARVEL DECKDIR RUNDIR NPROCS RC MPIEXEC [CHECK [WITH]]
# Runs one deck folder in a fresh copy (over a copy of the folder WITH when
# given) and checks exit code, exact stdout and the folder's own check
# script.
set -u
tarvel=$1; deck=$2; run=$3; np=$4; want_rc=$5; mpiexec=$6; check=${7:-}; with=${8:-}
rm -rf "$run"; mkdir -p "$run"
if [ -n "$with" ]; then cp -r "$with"/. "$run"/ && rm -f "$run/check.sh" "$run/expected.out"; fi
cp -r "$deck"/. "$run"/
cd "$run" || exit 2
if [ "$np" = 1 ] && [ -z "${TARVEL_DECK_MPIEXEC_ALWAYS:-}" ]; then
  "$mpiexec" -n 1 "$tarvel" >stdout.txt 2>stderr.txt </dev/null
else
  "$mpiexec" -n "$np" "$tarvel" >stdout.txt 2>stderr.txt </dev/null
fi
rc=$?
status=0
if [ "$rc" != "$want_rc" ]; then
  echo "exit code $rc, expected $want_rc"; status=1
fi
if [ -f expected.out ]; then
  if ! diff -u expected.out stdout.txt; then echo "stdout differs from expected.out"; status=1; fi
fi
if [ -z "$check" ] && [ -f check.sh ]; then check=./check.sh; fi
if [ -n "$check" ]; then
  if ! bash "$check" "$np"; then echo "check failed: $check"; status=1; fi
fi
if [ $status != 0 ]; then
  echo "---- stdout ----"; head -c 20000 stdout.txt; echo "---- stderr ----"; head -c 5000 stderr.txt
fi
exit $status
