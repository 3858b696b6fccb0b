#!/usr/bin/env bash
# Both online outputs after the kick refuse particle 2 with their own lines;
# the record of particle 1 stays; no file holds an Infinity or NaN field.
set -u
fail=0
want='  monitor=ph_0001.dat           ctptcl= 1.6000783261931095E+00
  particle 2 not written: a field is not a finite number
 error in execution of monitor
 error in execution of monitor
 error in output of online_monitor=ph.dat
  particle 2 not written: a field is not a finite number
 error in execution of monitor
 error in output of online_monitor=one.dat'
grep -A7 '  monitor=ph_0001.dat' stdout.txt >got.txt
[ "$(cat got.txt)" = "$want" ] || { echo "log lines:"; cat got.txt; fail=1; }
if grep -il 'inf\|nan' ./*.dat; then echo "Infinity/NaN written"; fail=1; fi
[ "$(wc -l <ph_0001.dat)" = 1 ] || { echo "ph_0001.dat:"; cat ph_0001.dat; fail=1; }
[ -s one.dat ] && { echo "one.dat:"; cat one.dat; fail=1; }
exit $fail
