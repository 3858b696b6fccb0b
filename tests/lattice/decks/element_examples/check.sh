#!/usr/bin/env bash
# The element examples: an empty dipole adds nothing; the first boundary from
# rho = 1 and psi = 60 degrees lies at x = s = 2 (rho / cos a, rounded) with normal (0.5, sqrt(3)/2);
# a dipole without r is straight; poles = 2 is order 1; a short integer list
# keeps the reader's preset; the thin quadrupole's kick is -L k = -1.
set -e
f=latout.dat
test "$(grep -c ' i= ' $f)" = 7
sed -n '/ i= 1 /,/ i= 2 /p' $f > b1
grep -qx ' i= 1   marker= start   duty= T' b1
grep -qx ' 1 1.9999999999999996E+00' b1
grep -qx ' 5 5.0000000000000011E-01' b1
grep -qx ' 6 8.6602540378443860E-01' b1
grep -qx ' 7 1.9999999999999996E+00' b1
sed -n '/ i= 3 /,/ i= 4 /p' $f | grep -qx ' 8 0.0000000000000000E+00'
sed -n '/ i= 5 /,/ i= 6 /p' $f | grep -A1 'private integers' | grep -qx ' 1 1'
sed -n '/ i= 6 /,/ i= 7 /p' $f > b6
grep -qx ' 2 7' b6 && grep -qx ' 3 987654321' b6 && grep -qx ' 4 987654321' b6
sed -n '/ i= 7 /,$p' $f | grep -qx ' 6 -1.0000000000000000E+00'
