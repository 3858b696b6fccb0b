#!/usr/bin/env bash
# One warning, the whole run on standard output, the closing line last.
set -u
[ -w /dev/full ] || { echo "no /dev/full here: nothing to check"; exit 0; }
fail=0
[ "$(grep -c 'warning: cannot write the log file /dev/full' stdout.txt)" = 1 ] || { echo "not one warning"; fail=1; }
grep -q 'integrated step error=' stdout.txt || { echo "the run did not go on"; fail=1; }
[ -f end.dat ] || { echo "no end.dat"; fail=1; }
[ "$(tail -n 1 stdout.txt)" = ' error in tarvel: lines of the log are missing in /dev/full' ] || { echo "no closing line"; fail=1; }
exit $fail
