#!/usr/bin/env bash
# The summary cannot be written (a folder has its name): the folder is left
# as it was, the lattice is read all the same, and the run's end says the
# file is missing (exit code 1, in the CMake test).
set -e
test -d latout.dat
test "$(ls latout.dat)" = README
