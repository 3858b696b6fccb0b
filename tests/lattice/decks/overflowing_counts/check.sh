#!/usr/bin/env bash
# The count is refused: its own line, the element's and the layer's.
set -u
want=' increase ilalen (latcom)
 error in dicrete_free
 error in lattice'
got=$(grep -A2 'increase ilalen' stdout.txt)
[ "$got" = "$want" ] || { echo "log lines:"; echo "$got"; exit 1; }
