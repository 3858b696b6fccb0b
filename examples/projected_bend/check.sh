#!/usr/bin/env bash
# Compares the self-force of the projected-model example with the steady-state
# CSR wake of a Gaussian bunch on a circle (../common/steady_wake.sh: within
# 2% of the peak), and checks that the model is purely longitudinal and the
# only one counted. Run it in the run folder (holding bend.dat, latout.dat
# and steps.dat). bash and awk only.
#
# bend.dat is a "fmt3" file: per particle the force along its motion, across
# it and vertical in eV/m (fields 8, 9, 10; the last two are 0 for this
# model). steps.dat counts the force evaluations of each model: only
# "projected" (column 4) may count.
set -u
here=$(cd "$(dirname "$0")" && pwd)
for f in bend.dat steps.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
bad=0
bash "$here/../common/steady_wake.sh" bend.dat 0.02 "projected bend" || bad=1
awk '
  FILENAME == "steps.dat" {
    ns++
    for (k = 5; k <= 8; k++) if ($k != 0) { printf "steps.dat record %d: model %d counted\n", ns, k - 3; bad = 1 }
    if ($4 + 0 < last) { printf "steps.dat record %d: the count of projected falls\n", ns; bad = 1 }
    last = $4 + 0; next }
  FNR > 1 && ($9 != 0 || $10 != 0) { printf "particle %d: transverse force %s %s\n", FNR - 1, $9, $10; bad = 1 }
  END {
    if (ns < 1 || last < 1) { print "steps.dat shows no force evaluation"; exit 1 }
    exit bad
  }' steps.dat bend.dat || bad=1
exit $bad
