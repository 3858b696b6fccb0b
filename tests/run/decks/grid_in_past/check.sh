#!/usr/bin/env bash
# No step, a failed run, and the layers after it are not read.
set -u
fail=0
grep -qx ' error in steper: no time-grid value for this run, nothing tracked' stdout.txt || { echo "no grid line"; fail=1; }
grep -qx '   a grid value is needed from c\*t    0.50001 to    0.70000 m' stdout.txt || { echo "no grid range"; fail=1; }
grep -qx ' error in tarvel: tracking run stopped before its end time' stdout.txt || { echo "no stop line"; fail=1; }
[ -f never.dat ] && { echo "the deck went on after the failed run"; fail=1; }
exit $fail
