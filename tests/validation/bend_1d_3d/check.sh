#!/usr/bin/env bash
# The one-dimensional "projected" model against the three-dimensional
# "csr_p_to_p" on the bunch of tarvel.in (fmt3 files of each run):
# - both against the steady-state wake deep in the bend, 2% and 5% of its
#   peak (examples/common/steady_wake.sh);
# - the exit transient: the two within 10% of the peak after the bend, at
#   each of five distances, the peak falling from one to the next;
# - plates 2 cm apart: the two within 5% of the shielded peak, which is
#   below half the free-space one;
# - plates 0.2 m apart: each model within 2% of its own free-space peak;
# - csr_g_to_m against csr_p_to_p after the bend and between the 2 cm plates,
#   both force components, within 5% of the peak.
# Registered with its path in the source tree. bash and awk only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
steady=$here/../../../examples/common/steady_wake.sh
cmp=$here/../../../examples/common/compare_fmt3.sh
bad=0
bash "$steady" projected_steady.dat 0.02 "projected, steady state" || bad=1
bash "$steady" p2p_steady.dat 0.05 "csr_p_to_p, steady state" || bad=1
peak() { awk 'FNR > 1 { v = $8 < 0 ? -$8 : $8; if (v > p) p = v } END { print p + 0 }' "$1"; }
last=$(peak projected_steady.dat)
for k in 1 2 3 4 5; do
  bash "$cmp" projected_exit_$k.dat p2p_exit_$k.dat 0.10 "exit transient $k" || bad=1
  p=$(peak projected_exit_$k.dat)
  awk -v p="$p" -v l="$last" 'BEGIN { exit !(p < l) }' || { echo "exit transient $k: the peak $p does not fall (before: $last)"; bad=1; }
  last=$p
done
bash "$cmp" projected_shield.dat p2p_shield.dat 0.05 "plates 2 cm apart" || bad=1
awk -v s="$(peak projected_shield.dat)" -v f="$(peak projected_steady.dat)" 'BEGIN {
  printf "plates 2 cm apart: peak %.4g eV/m, %.1f%% of free space\n", s, 100 * s / f; exit !(s < 0.5 * f) }' || bad=1
bash "$cmp" projected_steady.dat projected_wide.dat 0.02 "projected, plates 0.2 m apart against free space" || bad=1
bash "$cmp" p2p_steady.dat p2p_wide.dat 0.02 "csr_p_to_p, plates 0.2 m apart against free space" || bad=1
for k in 1 2 3 4 5; do
  bash "$cmp" p2p_exit_$k.dat g_to_m_exit_$k.dat 0.05 "csr_g_to_m, exit transient $k" "8 9" || bad=1
done
bash "$cmp" p2p_shield.dat g_to_m_shield.dat 0.05 "csr_g_to_m, plates 2 cm apart" "8 9" || bad=1
exit $bad
