#!/usr/bin/env bash
# The run reaches its end time (the step error line of a run is not printed
# after a failure); its last line says the online output is incomplete.
set -u
fail=0
grep -q -- '---> ct=   1.00000$' stdout.txt || { echo "the run did not reach its end time"; fail=1; }
grep -qx ' error in output of online_monitor=phase.dat' stdout.txt || { echo "no failed output"; fail=1; }
last=$(grep -v '^ *-*$\|Tarvelin\|rel1\|maxprt\|solver\|rel1_projected' stdout.txt | tail -1)
[ "$last" = " error in tarvel: tracking run complete, online monitor output incomplete" ] ||
  { echo "last line: $last"; fail=1; }
exit $fail
