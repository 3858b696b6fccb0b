#!/usr/bin/env bash
# start_run_test.sh RUN_SH START_RUN TARVEL LAUNCHER SCRATCH
# run.sh refuses a number of processes that is not a whole number from 1 to
# 100, and a folder that is not a deck folder, each with its line and exit
# code 2, before it installs or builds anything. A run of a deck folder at 2
# processes ends with the run folder and the command that checks it; that
# command, run as printed, checks the second run (run_2) as it checks the
# first.
set -u
run_sh=$1; start_run=$2; tarvel=$3; launcher=$4; scratch=$5
rm -rf "$scratch"; mkdir -p "$scratch/deck" "$scratch/empty"
fail=0
cat >"$scratch/deck/tarvel.in" <<'DECK'
lattice { dipole { position { rho = 1.0 }  properties { r = 10.0 }  position { delta_s = 1.0 } } }
DECK
cat >"$scratch/deck/check.sh" <<'CHECK'
[ -s latout.dat ] && echo "checked $(basename "$PWD")"
CHECK
# a row without a line: a number of processes refused
while IFS='|' read -r dir np line; do
  [ -n "$line" ] || line="run.sh: the number of processes must be a whole number from 1 to 100, not '$np'"
  out=$(cd "$scratch" && bash "$run_sh" "$dir" "$np" 2>&1); rc=$?
  [ "$rc" = 2 ] && [ "$out" = "$line" ] || { echo "run.sh '$dir' '$np': exit code $rc, output:"; echo "$out"; fail=1; }
done <<'CASES'
deck|0
deck|-1
deck|abc
deck|2x
deck|1.5
deck|101
deck|99999999999999999999
empty|2|run.sh: empty is not a deck folder (it holds no tarvel.in)
missing|2|run.sh: missing is not a deck folder (it holds no tarvel.in)
CASES
for k in 1 2; do
  out=$(bash "$start_run" "$scratch/deck" 02 "$launcher" "$tarvel" 2>&1); rc=$?
  name=run; [ $k = 2 ] && name=run_2
  folder=$scratch/deck/$name
  [ "$rc" = 0 ] || { echo "run $k: exit code $rc"; echo "$out"; fail=1; }
  last=$(tail -n 2 <<<"$out")
  want="run folder: $folder (exit code 0)
check it:   (cd $folder && bash ../check.sh)"
  [ "$last" = "$want" ] || { echo "run $k ends with:"; echo "$last"; echo "expected:"; echo "$want"; fail=1; }
  checked=$(cd "$scratch" && eval "$(sed -n 's/^check it: *//p' <<<"$out")")
  [ "$checked" = "checked $name" ] || { echo "run $k: the check command gave '$checked'"; fail=1; }
done
exit $fail
