#!/usr/bin/env bash
# The output at the end time fails at particle 2 with its own line; no file
# of the run holds an Infinity or NaN field.
set -u
fail=0
want='  monitor=f3_0001.dat           ctptcl= 1.8534889706755024E+00
  particle 2 not written: a field is not a finite number
 error in execution of monitor
 error in execution of monitor
 error in output of online_monitor=f3.dat'
grep -A4 '  monitor=f3_0001.dat' stdout.txt >got.txt
[ "$(cat got.txt)" = "$want" ] || { echo "log lines:"; cat got.txt; fail=1; }
[ -e f3_0002.dat ] && { echo "a second output was written"; fail=1; }
if grep -il 'inf\|nan' f3_*.dat; then echo "Infinity/NaN written"; fail=1; fi
# the record of particle 1 was written before the failure
[ "$(wc -l <f3_0001.dat)" = 2 ] || { echo "f3_0001.dat:"; cat f3_0001.dat; fail=1; }
exit $fail
