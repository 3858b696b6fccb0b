#!/usr/bin/env bash
# A Green's function of several chunks against one of a single chunk (fmt3
# monitors: F1 along the motion in field 8, F2 to its left in field 9
# [eV/m], after a header record): each of the 100 particles of
# one_chunk.dat has in chunks.dat its forces within 1e-3 of each peak. The
# two meshes differ only in the heights their columns reach (1 cm to either
# side for the two uncharged particles), so their samples lie at other
# heights and the interpolated forces differ by about 3e-7 of the peak of
# F1 and 1e-5 of F2; 1e-3, a tenth of the 1% within which the deck
# mesh_sparse holds csr_g_to_m to csr_p_to_p, leaves room for that, while a
# pair read from samples of the wrong place or left unread errs by a good
# part of the force (a cell lost at each chunk's edge: 4% of the peak). With several
# processes the log shows the chunks: the first run evaluates each time in
# one chunk, a mesh of fewer samples than a chunk holds (5e6), the second in
# at least three, of more than 1e7.
set -u
np=${1:-1}
for f in one_chunk.dat chunks.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
awk '
  function abs(x) { return x < 0 ? -x : x }
  FNR == 1 { k++; next }
  k == 1 { n1++; a[n1] = $8; b[n1] = $9; if (abs($8) > p1) p1 = abs($8); if (abs($9) > p2) p2 = abs($9) }
  k == 2 { n2++; if (n2 > n1) next
           if (abs($8 - a[n2]) > w1) w1 = abs($8 - a[n2]); if (abs($9 - b[n2]) > w2) w2 = abs($9 - b[n2]) }
  END {
    printf "%d particles, peak F1 %.4e, F2 %.4e eV/m; several chunks - one chunk: %.2e and %.2e of them\n",
           n1, p1, p2, w1 / p1, w2 / p2
    if (n1 != 100 || n2 != 102 || p1 <= 0 || p2 <= 0 || w1 > 1e-3 * p1 || w2 > 1e-3 * p2) exit 1
  }' one_chunk.dat chunks.dat || exit 1
if [ "$np" -gt 1 ]; then
  awk '
    BEGIN { run = 0 }
    /^ --- required flags \? ---: / { chunks[run]++ }
    $1 == "i_green" && $NF > samples[run] { samples[run] = $NF }
    /integrated step error=/ { run++ }
    END {
      printf "chunk evaluations %d and %d, samples %d and %d\n", chunks[0], chunks[1], samples[0], samples[1]
      if (!(chunks[0] >= 1 && chunks[1] >= 3 * chunks[0] && samples[0] < 5000000 && samples[1] > 10000000)) exit 1
    }' stdout.txt || exit 1
fi
