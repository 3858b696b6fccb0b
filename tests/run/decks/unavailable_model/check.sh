#!/usr/bin/env bash
# A force model this build cannot evaluate stops the run at its set-up with
# a clear line; no step is made and no step error is reported.
set -u
fail=0
grep -qx " error: force type 'csr_p_to_p' is not available, no tracking run" stdout.txt || { echo "no refusal line"; fail=1; }
grep -q 'integrated step error=' stdout.txt && { echo "a run was reported"; fail=1; }
grep -q 'ctstep=' stdout.txt && { echo "a step was made"; fail=1; }
exit $fail
