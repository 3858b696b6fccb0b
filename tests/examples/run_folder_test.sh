#!/usr/bin/env bash
# run_folder_test.sh RUN_FOLDER_SCRIPT SCRATCH
# The folder of a run.sh run: a deck folder holding a folder of the user's
# own named "run" keeps it untouched; every run gets a new folder with a
# copy of the deck, without the run folders made before; nothing is removed.
set -u
script=$1; scratch=$2
rm -rf "$scratch"; mkdir -p "$scratch/deck/run" "$scratch/deck/inc"
cd "$scratch/deck" || exit 2
echo "lattice { }" > tarvel.in; echo "part" > inc/part.in; echo "mine" > run/notes.txt
fail=0
first=$(bash "$script" .) || { echo "first call failed"; exit 1; }
echo "output of the first run" > "$first/out.dat"
second=$(bash "$script" "$scratch/deck") || { echo "second call failed"; exit 1; }
[ "$first" = "$scratch/deck/run_2" ] || { echo "first run folder $first"; fail=1; }
[ "$second" = "$scratch/deck/run_3" ] || { echo "second run folder $second"; fail=1; }
[ "$(cat run/notes.txt)" = mine ] && [ "$(ls run)" = notes.txt ] || { echo "the user's folder run changed"; fail=1; }
[ -f "$first/out.dat" ] || { echo "the first run's output was removed"; fail=1; }
for r in "$first" "$second"; do
  cmp -s tarvel.in "$r/tarvel.in" && cmp -s inc/part.in "$r/inc/part.in" || { echo "$r: deck not copied"; fail=1; }
done
[ -e "$second/run_2" ] && { echo "a run folder was copied into the next run"; fail=1; }
exit $fail
