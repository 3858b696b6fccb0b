#!/usr/bin/env bash
# Every particle record of the three fmt3 monitors (after the header) has
# zero forces (fields 8 to 10), and each run reached its end.
set -u
for f in p_to_m.dat g_to_p.dat g_to_m.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
  awk 'NR > 1 { n++; if ($8 != 0 || $9 != 0 || $10 != 0) bad++ }
       END { if (n != 5 || bad) { print FILENAME ": " bad + 0 " of " n + 0 " particles with a force"; exit 1 } }' "$f" || exit 1
done
[ "$(grep -c 'integrated step error=' stdout.txt)" = 3 ] || { echo "not every run reached its end"; exit 1; }
echo "zero forces in all three models"
