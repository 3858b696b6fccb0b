#!/usr/bin/env bash
# A forces layer with a wake file is read; a second one naming a size file
# without sigma_file fails with its own line and "error in force"; nothing
# after it is read.
set -u
fail=0
err() { echo "$*"; fail=1; }
grep -qx ' read wakefile: wake.dat' stdout.txt || err "wake file read"
grep -qx ' ! wake for the deck test' stdout.txt || err "wake comment shown"
grep -A1 -x ' file with subbunch properties is not specified' stdout.txt | tail -1 | grep -qx ' error in force' \
  || err "refusal lines"
grep -q 'start time' stdout.txt && err "a run was set up"
exit $fail
