#!/usr/bin/env bash
# tools/start_run.sh DECK_DIR NPROCS [LAUNCHER TARVEL]
# Checks the arguments of run.sh: DECK_DIR must be a deck folder (it holds
# tarvel.in) and NPROCS a whole number from 1 to 100; either wrong ends here with a
# line and exit code 2. With only these two arguments it stops there (run.sh
# checks them before it builds). Otherwise it runs TARVEL with NPROCS
# processes through LAUNCHER in a new run folder (tools/run_folder.sh) and
# ends with the run folder and, when the deck folder has a check.sh, the
# command that checks the run; its exit code is the run's.
set -u
deck=$1; np=$2
# a job holds at most 100 processes (the program refuses more, but only
# after the launcher has started them all)
if ! [[ $np =~ ^[0-9]{1,9}$ ]] || [ $((10#$np)) -lt 1 ] || [ $((10#$np)) -gt 100 ]; then
  echo "run.sh: the number of processes must be a whole number from 1 to 100, not '$np'"; exit 2
fi
np=$((10#$np))
if [ ! -f "$deck/tarvel.in" ]; then
  echo "run.sh: $deck is not a deck folder (it holds no tarvel.in)"; exit 2
fi
[ $# -ge 4 ] || exit 0
launcher=$3; tarvel=$4
here=$(cd "$(dirname "$0")" && pwd)
deck=$(cd "$deck" && pwd)
run=$(bash "$here/run_folder.sh" "$deck") || exit 1
echo "running $deck with $np process(es) in $run"
(cd "$run" && "$launcher" -n "$np" "$tarvel")
rc=$?
echo "run folder: $run (exit code $rc)"
if [ -f "$deck/check.sh" ]; then
  echo "check it:   (cd $(printf '%q' "$run") && bash ../check.sh)"
fi
exit $rc
