#!/usr/bin/env bash
# The first log file is empty (it was replaced before any line was logged),
# the second holds the lines logged after it was opened; both lie in the
# output folder and nothing was written beside the deck.
set -eu
[ -f out/run.log ] && [ ! -s out/run.log ] || { echo "out/run.log missing or not empty"; exit 1; }
diff -u expected_second.log out/second.log
[ ! -e run.log ] && [ ! -e second.log ] || { echo "log written outside the output folder"; exit 1; }
