#!/usr/bin/env bash
# Every field of the particle with the tiny values keeps its exponent letter
# (the bunch charge is negative, so the file holds the charges negated),
# awk reads the numbers whole, and the round trip writes the same file.
set -u
fail=0
line=$(sed -n 3p first.dat)
echo "$line" | grep -q ' 0.10000000000000E-149 ' || { echo "z not written with its E: $line"; fail=1; }
echo "$line" | grep -q ' 0.10000000000000E-199$' || { echo "q not written with its E: $line"; fail=1; }
awk 'NR == 3 { if (!($3 > 0.99e-150 && $3 < 1.01e-150 && $7 > 0.99e-200 && $7 < 1.01e-200)) { print "awk reads", $3, $7; exit 1 } }' first.dat || fail=1
cmp first.dat again.dat || fail=1
exit $fail
