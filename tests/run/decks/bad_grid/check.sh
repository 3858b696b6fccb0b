#!/usr/bin/env bash
# A grid record that is not a number refuses the layer; nothing is tracked.
set -u
fail=0
grep -qx ' error in track_step' stdout.txt || { echo "no error line"; fail=1; }
grep -q 'tracking to end_time' stdout.txt && { echo "a run was set up"; fail=1; }
exit $fail
