#!/usr/bin/env bash
# Registered with its path in the source tree (it calls the example's check,
# which compares bend.dat with the steady-state wake within 2% of the peak).
# Then the log and the "steps" file: one configuration line for the model,
# and the evaluations counted for "projected" alone: the start forces, then
# in every step of nonzero length the predictor and one per pass (each pass
# logs its step_error line).
set -u
here=$(cd "$(dirname "$0")" && pwd)
fail=0
bash "$here/../../../../examples/projected_bend/check.sh" || fail=1
[ -f stdout.txt ] && [ -f steps.dat ] || { echo "missing stdout.txt or steps.dat"; exit 1; }
[ "$(grep -c "^  with 'projected' force$" stdout.txt)" = 1 ] || { echo "no configuration line"; fail=1; }
awk '
  FILENAME == "stdout.txt" && $1 == "ctstep=" { step = ($2 + 0 > 0); steps += step }
  FILENAME == "stdout.txt" && $1 == "step_error/step_time=" { passes++ }
  FILENAME == "steps.dat" { calls = $4 + 0 }
  END {
    if (calls != 1 + steps + passes) {
      printf "steps.dat counts %d evaluations, the log shows %d steps and %d passes\n", calls, steps, passes; exit 1 }
    printf "%d evaluations of projected counted: start, %d steps, %d passes\n", calls, steps, passes
  }' stdout.txt steps.dat || fail=1
exit $fail
