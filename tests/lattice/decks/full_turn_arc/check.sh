#!/usr/bin/env bash
# Why, where, then the lattice layer's own lines; nothing is tracked.
set -u
fail=0
grep -A4 -x ' an arc of delta_s = 2.618 m, r = 0.1 m turns by 1500 degrees, a full circle or more' stdout.txt > got.txt
printf '%s\n' ' an arc of delta_s = 2.618 m, r = 0.1 m turns by 1500 degrees, a full circle or more' \
  '   at tarvel.in line 5' ' error in position' ' error in dipole/multipole' ' error in lattice' \
  | diff - got.txt || fail=1
grep -q 'tracking to end_time' stdout.txt && { echo "a run was set up"; fail=1; }
exit $fail
