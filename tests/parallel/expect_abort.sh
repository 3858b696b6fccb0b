#!/usr/bin/env bash
# expect_abort.sh MPIEXEC NPROCS EXE CASE TEXT
# Runs one case that must end the whole job: passes when the job exits with
# a nonzero code within 30 s (not killed by the 60 s guard) and its output
# holds TEXT.
set -u
mpiexec=$1; np=$2; exe=$3; case=$4; text=$5
start=$(date +%s)
out=$(timeout 60 "$mpiexec" -n "$np" "$exe" "$case" 2>&1 </dev/null)
rc=$?
elapsed=$(( $(date +%s) - start ))
echo "$out" | head -40
echo "exit code $rc after $elapsed s"
if [ "$rc" = 0 ]; then echo "the job ended with exit code 0"; exit 1; fi
if [ "$rc" = 124 ]; then echo "the job hung"; exit 1; fi
if [ "$elapsed" -gt 30 ]; then echo "the job took too long to end"; exit 1; fi
if ! grep -qF -- "$text" <<<"$out"; then echo "missing line: $text"; exit 1; fi
exit 0
