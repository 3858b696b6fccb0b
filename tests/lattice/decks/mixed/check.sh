#!/usr/bin/env bash
# The lattice summary matches the hand-checked copy.
diff -u expected_latout.dat latout.dat
