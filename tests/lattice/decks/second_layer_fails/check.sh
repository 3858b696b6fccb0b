#!/usr/bin/env bash
# A failing element leaves the summary of the layer before it in place.
set -e
test "$(grep -c ' i= ' latout.dat)" = 1
grep -qx ' i= 1   marker= only   duty= T' latout.dat
