#!/usr/bin/env bash
# The two warning lines before the end of the lattice definition, and the
# reference particle at x = 1 m after the run.
set -u
fail=0
grep -A2 -x ' warning: marker end is not unique, boundaries 1 3' stdout.txt > w.txt
printf '%s\n' ' warning: marker end is not unique, boundaries 1 3' \
  '   tracker and online_monitor times use boundary 1' ' end of lattice definition' | diff - w.txt || fail=1
grep -q 'marker middle' stdout.txt && { echo "a unique marker was reported"; fail=1; }
awk 'NR == 1 { d = $1 - 1.0; if (d * d > 1e-24) { print "x =", $1; exit 1 } }' end.dat || fail=1
exit $fail
