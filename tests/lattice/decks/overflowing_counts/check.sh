#!/usr/bin/env bash
# The count is refused: what does not fit and where, its own line, the
# element's and the layer's.
set -u
want=' the element needs 2147483647 private integers, 999 are left
   at tarvel.in line 4
 increase ilalen (latcom)
 error in dicrete_free
 error in lattice'
got=$(grep -B2 -A2 'increase ilalen' stdout.txt)
[ "$got" = "$want" ] || { echo "log lines:"; echo "$got"; exit 1; }
