#!/usr/bin/env bash
# Force-free bunch of three particles on the reference line through a
# 90-degree dipole of radius 2 m, then a second tracker layer continuing
# from the first. Closed form: the particles follow the reference line; the
# end of the first run is the dipole exit's crossing time plus 0.5 m.
set -u
fail=0
err() { echo "$*"; fail=1; }
out=stdout.txt

# p in units of m*c from 5e7 eV/c, beta, and the closed-form times
awk 'BEGIN {
  p = 5.0e7 * 1.957047868709806e-06; b = p / sqrt(p * p + 1); pi = 3.141592653589793
  printf "%.17g %.17g %.17g\n", p, b, 0.25 + (1 + pi) / b + 0.5 }' >cf.txt
read -r p beta end1 <cf.txt

[ "$(grep -c '^  integrated step error= 0.0000000000000000E+00$' $out)" = 2 ] || err "two runs with step error 0"
[ "$(grep -c '^  without self force$' $out)" = 2 ] || err "two force-free run configurations"
[ "$(grep -c '^  --- duty -------------- ' $out)" = 4 ] || err "four duty landings"
grep '^  --- duty -------------- ' $out | awk '{ s = s $NF } END { if (s != "1212") exit 1 }' \
  || err "duty landings before and after the entry and the exit"

# end times: marker time + shift, then delta from the first end
mapfile -t starts < <(grep '^  start time           = ' $out | awk '{ print $NF }')
mapfile -t ends < <(grep '^  tracking to end_time = ' $out | awk '{ print $NF }')
[ "${#starts[@]}" = 2 ] && [ "${#ends[@]}" = 2 ] || err "two run configurations"
close() {  # a b tol label
  awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }' \
    || err "$4: $1, expected $2"
}
close "${starts[0]}" 0.25 0 "first start"
close "${ends[0]}" "$end1" 1e-12 "first end (dipole exit crossing + 0.5)"
[ "${starts[1]}" = "${ends[0]}" ] || err "second run starts at the first run's end"
close "${ends[1]}" "$(awk -v e="${ends[0]}" 'BEGIN { printf "%.17g", e + 0.25 }')" 1e-15 "second end"

# the last step of each run lands on its end time; each run ends with step 0
grep -c '^  ctstep= 0.00000 ---> ct=' $out | grep -qx 2 || err "each run ends with a zero step"

# positions: after the exit the line runs along -y from (3, -2)
check_file() {  # file distance-after-exit
  awk -v b="$beta" -v p="$p" -v d="$2" -v f="$1" 'BEGIN { split("0 0.001 -0.001", off, " ") }
    { i = NR; y = -2 - d * b - off[i]
      if ((($1 - 3) ^ 2) > 1e-24 || (($2 - y) ^ 2) > 1e-24 || $3 != 0 || (($4 - p) ^ 2) > 1e-20 \
          || (($5 + 1.5707963267949) ^ 2) > 1e-26 || $6 != 0) { print f ": particle " i ": " $0; bad = 1 } }
    END { if (NR != 3) { print f ": " NR " particles"; bad = 1 }; exit bad }' "$1" || fail=1
}
check_file run1.dat 0.5
check_file run2.dat 0.75
exit $fail
