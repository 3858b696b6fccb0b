#!/usr/bin/env bash
# The sparse Green's function (fmt3 monitors: F2 in field 9 [eV/m], after a
# header record): "csr_g_to_m" gives the transverse force of "csr_p_to_p"
# within 1% of its peak at every particle. (The force along the motion is
# the sub-bunch's own field, which the mesh does not resolve at 5e-8 m by
# 2e-5 m; it is not compared.) With several processes the log shows the
# mesh: 4.9e7 samples, each evaluation in 10 chunks.
set -u
np=${1:-1}
for f in g_to_m.dat p_to_p.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
awk '
  FNR == 1 { k++; next }
  k == 1 { n1++; a[n1] = $9 }
  k == 2 { n2++; d = $9 - a[n2]; if (d < 0) d = -d; if (d > w) w = d; x = $9 < 0 ? -$9 : $9; if (x > p) p = x }
  END {
    printf "sparse mesh: %d particles, peak F2 %.4e eV/m, g_to_m - p_to_p %.3f%% of it\n", n1, p, 100 * w / p
    if (n1 != 5 || n2 != 5 || p <= 0 || w > 0.01 * p) exit 1
  }' g_to_m.dat p_to_p.dat || exit 1
if [ "$np" -gt 1 ]; then
  chunks=$(grep -c '^ --- required flags ? ---: ' stdout.txt)
  samples=$(awk '$1 == "i_green" { n = $NF } END { print n + 0 }' stdout.txt)
  echo "chunks: $chunks, samples: $samples"
  [ "$chunks" = 20 ] && [ "$samples" -gt 40000000 ] || exit 1
fi
