#!/usr/bin/env bash
# A grid run stops at the last grid value not beyond its end time (0.5 of
# 0.7); the next layer without a grid returns to adaptive steps from there.
set -u
fail=0
err() { echo "$*"; fail=1; }
grep -x '  ctstep= 0.25000 ---> ct=   0.25000   (steps_file)' stdout.txt >/dev/null || err "grid step to 0.25"
grep -x '  ctstep= 0.25000 ---> ct=   0.50000   (steps_file)' stdout.txt >/dev/null || err "grid step to 0.5"
[ "$(grep -c '(steps_file)' stdout.txt)" = 2 ] || err "two grid steps"
grep -q '^  monitor=grid1.dat *ctptcl= 5.0000000000000000E-01$' stdout.txt || err "first run ends at 0.5"
grep -qx '  start time           = 5.0000000000000000E-01' stdout.txt || err "second run starts at 0.5"
grep -qx '  tracking to end_time = 1.5000000000000000E+00' stdout.txt || err "second run ends at 1.5"
grep -q -- '---> ct=   1.50000$' stdout.txt || err "adaptive steps land on 1.5"
grep -q -- '--- duty' stdout.txt && err "duty steps switched off"
grep -qx ' read time_grid_file' stdout.txt || err "grid file read"
[ "$(grep -c 'integrated step error= 0.0000000000000000E+00' stdout.txt)" = 2 ] || err "two runs"
exit $fail
