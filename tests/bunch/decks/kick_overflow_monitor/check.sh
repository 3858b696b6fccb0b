#!/usr/bin/env bash
# The monitor layer after the kick refuses particle 2 with its own line and
# fails; its file keeps the header and particle 1, without Infinity or NaN.
set -u
fail=0
want='  monitor=m2.dat                ctptcl= 1.6000783261931095E+00
  particle 2 not written: a field is not a finite number
 error in execution of monitor
 error in execution of monitor
 error in monitor'
grep -A4 '  monitor=m2.dat' stdout.txt >got.txt
[ "$(cat got.txt)" = "$want" ] || { echo "log lines:"; cat got.txt; fail=1; }
if grep -il 'inf\|nan' ./*.dat; then echo "Infinity/NaN written"; fail=1; fi
[ "$(wc -l <m2.dat)" = 2 ] || { echo "m2.dat:"; cat m2.dat; fail=1; }
exit $fail
