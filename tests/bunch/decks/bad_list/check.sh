#!/usr/bin/env bash
# A refused particle list fails the run, although closing the monitors
# after it succeeds; nothing follows the failed layer.
set -u
fail=0
grep -A1 ' error in array with particles' stdout.txt >got.txt
[ "$(cat got.txt)" = " error in array with particles
 error in particles" ] || { echo "log lines:"; cat got.txt; fail=1; }
grep -q 'end of particles definition' stdout.txt && { echo "layer reported success"; fail=1; }
exit $fail
