#!/usr/bin/env bash
# The run stops at once with its failure lines and never reports success.
set -e
grep -qx ' error in steper: the step does not advance c\*t, run stopped' stdout.txt
grep -qx ' error in tarvel: tracking run stopped before its end time' stdout.txt
! grep -q 'integrated step error=' stdout.txt
