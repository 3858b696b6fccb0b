#!/usr/bin/env bash
# The Green's models' forces against csr_p_to_p's: along and across the
# motion (fmt3 fields 8 and 9), each within 1% of csr_p_to_p's peak of that
# component (measured: 0.42% and 0.05%).
set -u
cmp="$(dirname "$0")/../../../../../examples/common/compare_fmt3.sh"
fail=0
for m in g2p g2m; do
  for f in 8 9; do bash "$cmp" p2p.dat $m.dat 0.01 "$m field $f" $f || fail=1; done
done
exit $fail
