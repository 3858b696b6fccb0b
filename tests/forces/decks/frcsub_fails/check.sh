#!/usr/bin/env bash
# The failed size check is logged with why and what would work, no source
# loop ran (no progress line) and the run stopped with its line.
set -u
fail=0
for l in " sigma_long = relative: relative_long x the bunch's rms length 0 m gives" \
         "   0 m, the bunch has no length; give sigma_long as a length" \
         " error in frcsub (sub-bunch dimensions)" " error in forcei" \
         " error in tarvel: tracking run stopped; last step's output not valid"; do
  grep -qxF -- "$l" stdout.txt || { echo "missing line: $l"; fail=1; }
done
grep -q "isrc" stdout.txt && { echo "a source loop ran"; fail=1; }
exit $fail
