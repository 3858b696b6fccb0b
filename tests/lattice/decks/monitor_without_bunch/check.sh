#!/usr/bin/env bash
# A monitor before any particles: the bunch cannot be placed on the lattice.
set -u
grep -qx ' error in inila2' stdout.txt || { echo "no 'error in inila2' line"; exit 1; }
[ ! -e m.dat ] || { echo "monitor file written"; exit 1; }
