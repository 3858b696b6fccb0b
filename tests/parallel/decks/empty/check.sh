#!/usr/bin/env bash
# An empty deck reads as "exit": the banner twice, "stopp" to every slave,
# and every process ends normally without a word on standard error.
set -u
if [ -s stderr.txt ]; then echo "unexpected standard error:"; cat stderr.txt; exit 1; fi
n=$(grep -c '^ Tarvelin$' stdout.txt)
if [ "$n" != 2 ]; then echo "banner printed $n times, expected 2"; exit 1; fi
exit 0
