#!/usr/bin/env bash
# A bunch read from a list is written in every particle format; the "fmt1"
# and "fmt2" files read back as lists give the same bunch again.
set -u
fail=0
err() { echo "$*"; fail=1; }

# records per file and record lengths (fmt0 6 reals, fmt1/fmt2 7 reals,
# fmt3 10 reals and 2 flags; header records in fmt1, fmt2, fmt3)
check_shape() {  # file records length
  local n len
  n=$(wc -l <"$1")
  [ "$n" = "$2" ] || err "$1: $n records, expected $2"
  len=$(awk -v L="$3" 'length($0) != L { bad++ } END { print bad + 0 }' "$1")
  [ "$len" = 0 ] || err "$1: $len records not $3 characters long"
}
check_shape p0.dat 5 138
check_shape p1.dat 6 161
check_shape p2.dat 6 161
check_shape p3.dat 6 234
check_shape q0.dat 5 138
check_shape q1.dat 6 161
check_shape r0.dat 5 138
check_shape r2.dat 6 161

# two files of numbers agree to 1e-12 relative (1e-14 absolute near zero)
same() {
  paste -d' ' "$1" "$2" | awk -v f="$1 $2" '{
      n = NF / 2
      for (i = 1; i <= n; i++) {
        a = $i + 0; b = $(i + n) + 0; d = a - b; if (d < 0) d = -d
        s = a < 0 ? -a : a
        if (d > 1e-12 * s + 1e-14) { print f ": record " NR " field " i ": " $i " " $(i + n); bad = 1 }
      }
    } END { exit bad }' || fail=1
}
same p0.dat q0.dat
same p0.dat r0.dat
same p1.dat q1.dat
same p2.dat r2.dat

# the header of a list file: bunch time and six zeros
head -1 p1.dat | awk '{ if ($1 + 0 != 0.125) exit 1; for (i = 2; i <= 7; i++) if ($i + 0 != 0) exit 1 }' \
  || err "p1.dat: header record"
# particle 1 of the fmt3 file lies on the reference line at s - s1 = 0
sed -n 2p p3.dat | awk '{ if ($5 + 0 != 0 || $11 != 1 || $12 != 1) exit 1 }' || err "p3.dat: particle 1"
# the inactive particle (no charge) shows flag 0
sed -n 5p p3.dat | awk '{ if ($11 != 0 || $12 != 1) exit 1 }' || err "p3.dat: flags of particle 4"

[ "$(grep -c 'end of particles definition, npart = 5' stdout.txt)" = 3 ] || err "three bunches of 5"
[ "$(grep -c '  monitor=' stdout.txt)" = 8 ] || err "eight monitor lines"
exit $fail
