#!/usr/bin/env bash
# "fmt3" needs a lattice: without one the monitor fails and writes nothing.
set -u
fail=0
grep -v '^ ---\|Tarvelin\|rel1\|maxprt\|solver\|from ' stdout.txt >log.txt
want='  monitor=nolattice.dat         ctptcl= 0.0000000000000000E+00
 fmt3 needs a lattice with a field boundary
 error in execution of monitor
 error in monitor'
grep -A3 '  monitor=nolattice.dat' log.txt >got.txt
[ "$(cat got.txt)" = "$want" ] || { echo "log lines:"; cat got.txt; fail=1; }
[ -e nolattice.dat ] && { echo "file written"; fail=1; }
exit $fail
