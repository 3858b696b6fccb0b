#!/usr/bin/env bash
# The sparse Green's function (fmt3 monitors: F1 along the motion in field 8,
# F2 to its left in field 9 [eV/m], after a header record): "csr_g_to_m"
# gives both forces of "csr_p_to_p" within 1% of their peaks at every
# particle (F1 is the sub-bunch's own field, which needs the source's own
# offset to be a sample of the mesh). With several processes the log shows
# the mesh: 4.9e7 samples, each evaluation in 10 chunks.
set -u
np=${1:-1}
for f in g_to_m.dat p_to_p.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
awk '
  function abs(x) { return x < 0 ? -x : x }
  FNR == 1 { k++; next }
  k == 1 { n1++; a[n1] = $8; b[n1] = $9 }
  k == 2 { n2++
           if (abs($8 - a[n2]) > w1) w1 = abs($8 - a[n2]); if (abs($8) > p1) p1 = abs($8)
           if (abs($9 - b[n2]) > w2) w2 = abs($9 - b[n2]); if (abs($9) > p2) p2 = abs($9) }
  END {
    printf "sparse mesh: %d particles, peak F1 %.4e, F2 %.4e eV/m, g_to_m - p_to_p %.4f%% and %.3f%% of them\n",
           n1, p1, p2, 100 * w1 / p1, 100 * w2 / p2
    if (n1 != 5 || n2 != 5 || p1 <= 0 || p2 <= 0 || w1 > 0.01 * p1 || w2 > 0.01 * p2) exit 1
  }' g_to_m.dat p_to_p.dat || exit 1
if [ "$np" -gt 1 ]; then
  chunks=$(grep -c '^ --- required flags ? ---: ' stdout.txt)
  samples=$(awk '$1 == "i_green" { n = $NF } END { print n + 0 }' stdout.txt)
  echo "chunks: $chunks, samples: $samples"
  [ "$chunks" = 20 ] && [ "$samples" -gt 40000000 ] || exit 1
fi
