#!/usr/bin/env bash
# The summary cannot be written (a folder has its name): the folder is left
# as it was and the lattice is read all the same.
set -e
test -d latout.dat
test "$(ls latout.dat)" = README
