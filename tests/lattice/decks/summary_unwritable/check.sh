#!/usr/bin/env bash
# The summary cannot be written: nothing is left behind.
set -e
test ! -e latout.dat
test ! -e missing_folder
