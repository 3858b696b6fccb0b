#!/usr/bin/env bash
# The summary goes to the output folder; the multipole's order is 6/2 = 3
# and its rotation 30 degrees in radians.
set -e
test ! -e latout.dat
test -e out/latout.dat
test "$(grep -c ' i= ' out/latout.dat)" = 4
grep -A1 'private integers' out/latout.dat | tail -1 | grep -qx ' 2 3'
grep -qx ' 8 5.2359877559829882E-01' out/latout.dat
