#!/usr/bin/env bash
# readme_deck.sh TARVEL README RUNDIR
# The annotated deck of the README (its fenced block holding a "tracker"
# layer) must run as shown: exit code 0, and final.dat holding the header
# and both particles, the reference particle at the marker "end" of the
# 30 degree bend of radius 5 m: (1 + 5 sin 30 + cos 30, -5 (1 - cos 30) - sin 30).
set -u
tarvel=$1; readme=$2; run=$3
rm -rf "$run"; mkdir -p "$run"; cd "$run" || exit 2
awk '/^```/ { if (inb) { if (blk ~ /tracker/) { printf "%s", blk; exit } blk = ""; inb = 0 } else inb = 1; next }
     inb { blk = blk $0 "\n" }' "$readme" >tarvel.in
[ -s tarvel.in ] || { echo "no deck found in $readme"; exit 1; }
"$tarvel" >stdout.txt 2>stderr.txt </dev/null
rc=$?
[ $rc = 0 ] || { echo "the README deck ends with exit code $rc"; tail -20 stdout.txt; exit 1; }
[ -f final.dat ] || { echo "the README deck wrote no final.dat"; exit 1; }
awk 'NR == 2 { pi = 3.141592653589793; x = 1 + 5 * sin(pi / 6) + cos(pi / 6); y = -5 * (1 - cos(pi / 6)) - sin(pi / 6)
               dx = $1 - x; dy = $2 - y
               # printed to 14 digits after "0.": half a unit is 5e-14 m here
               if (dx * dx + dy * dy > 1e-26) { printf "reference at (%s, %s), expected (%.14f, %.14f)\n", $1, $2, x, y; bad = 1 } }
     END { if (NR != 3) { print "final.dat holds " NR " records, expected 3"; bad = 1 } exit bad }' final.dat
