#!/usr/bin/env bash
# The mesh models against csr_p_to_p on the bunch of tarvel.in (fmt3 files;
# the forces along and across the motion, fields 8 and 9):
# - csr_p_to_m, csr_g_to_p and csr_g_to_m with the default boxes within 5%
#   of the peak force;
# - boxes twice as long (sbox = 1): fewer observers and a larger difference
#   than with the default boxes, within 10%;
# - boxes twice as wide (rbox = 1): fewer observers, within 5%.
# The observers of each run: the corner and particle observers of its last
# "boxes =" line before its "monitor=" line. Registered with its path in
# the source tree. bash and awk only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cmp=$here/../../../examples/common/compare_fmt3.sh
bad=0
diff_of() {  # diff_of FILE TOL LABEL: runs the comparison, prints it, sets D (% of the peak)
  local out
  out=$(bash "$cmp" p2p.dat "$1" "$2" "$3" "8 9") || bad=1
  echo "$out"
  D=$(echo "$out" | awk '/largest difference/ { for (i = 1; i <= NF; i++) if ($i ~ /%$/) { sub(/%/, "", $i); print $i; exit } }')
}
observers() {  # observers NAME: the observers of the run whose monitor file is NAME
  awk -v f="monitor=$1" '/boxes =/ { n = $5 + $7 } $1 == f { print n + 0; exit }' stdout.txt
}
for m in p_to_m g_to_p g_to_m; do diff_of $m.dat 0.05 "$m against csr_p_to_p"; done
diff_of p_to_m.dat 0.05 "default boxes"; d0=$D
diff_of p_to_m_long.dat 0.10 "boxes twice as long"; dl=$D
diff_of p_to_m_wide.dat 0.05 "boxes twice as wide"
o0=$(observers p_to_m.dat); ol=$(observers p_to_m_long.dat); ow=$(observers p_to_m_wide.dat)
echo "observers of csr_p_to_m (641 particles): default boxes $o0, twice as long $ol, twice as wide $ow"
awk -v o0="$o0" -v ol="$ol" -v ow="$ow" -v d0="$d0" -v dl="$dl" 'BEGIN {
  if (!(o0 > 0 && ol < o0 && ow < o0)) { print "larger boxes do not spare observers"; bad = 1 }
  if (!(dl > d0)) { print "boxes twice as long do not differ more from csr_p_to_p"; bad = 1 }
  exit bad }' || bad=1
exit $bad
