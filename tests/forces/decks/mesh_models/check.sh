#!/usr/bin/env bash
# The three mesh models from one start (fmt3 monitors: F1, F2 in fields 8
# and 9 [eV/m], after a header record): "csr_g_to_m" follows "csr_p_to_m"
# within 2% of the peak force (the same boxes; the Green's function in place
# of every source's own field), and "csr_g_to_p" is not zero. Every "green"
# online output holds the region polygon (20 x, 20 y), the four lists of the
# curvature-change rows, each led by its count, and then the time after its
# step, later for each output. bash and awk only.
set -u
for f in p_to_m.dat g_to_p.dat g_to_m.dat grn_0001.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
awk '
  FNR == 1 { k++; next }
  k == 1 { n1++; a[n1] = $8; b[n1] = $9 }
  k == 2 { n2++; if ($8 != 0 || $9 != 0) nz++ }
  k == 3 { n3++; d1 = $8 - a[n3]; d2 = $9 - b[n3]; if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2
           if (d1 > w) w = d1; if (d2 > w) w = d2 }
  END {
    for (i = 1; i <= n1; i++) { x = a[i] < 0 ? -a[i] : a[i]; y = b[i] < 0 ? -b[i] : b[i]
                                if (x > p) p = x; if (y > p) p = y }
    printf "mesh models: %d particles, peak %.4e eV/m, g_to_m - p_to_m %.2f%% of it, %d forces of g_to_p\n", n1, p, 100 * w / p, nz
    if (n1 < 2 || n1 != n2 || n1 != n3 || p <= 0 || w > 0.02 * p || nz < n2) exit 1
  }' p_to_m.dat g_to_p.dat g_to_m.dat || exit 1
last=-1
for f in grn_*.dat; do
  t=$(awk '
    function list(   n, i) { n = $1; if (NF != 1 || n != int(n) || n < 0) bad = 1
                             for (i = 1; i <= n; i++) { if ((getline) <= 0 || NF != 1) bad = 1 } ; return n }
    NR == 1 {
      if (list() != 20) bad = 1; getline; if (list() != 20) bad = 1
      for (j = 1; j <= 4; j++) { getline; m = list(); if (j > 1 && m != m1) bad = 1; m1 = m }
      getline; t = $1; if (NF != 1 || (getline) > 0) bad = 1
    }
    END { if (bad) print "bad"; else print t }' "$f")
  if [ "$t" = bad ] || awk -v t="$t" -v l="$last" 'BEGIN { exit !(t + 0 <= l + 0) }'; then
    echo "$f: not a green output after the last ($t)"; exit 1
  fi
  last=$t
done
echo "green outputs: the last at c*t $last"
