#!/usr/bin/env bash
# The run reaches the marker 1 m downstream: the reference particle at x = 1.
set -u
[ -f end.dat ] || { echo "no end.dat"; exit 1; }
awk 'NR == 1 { d = $1 - 1.0; if (d * d > 1e-24) { print "x =", $1; exit 1 } }' end.dat
