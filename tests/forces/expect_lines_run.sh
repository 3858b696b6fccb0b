#!/usr/bin/env bash
# The check of a deck whose runs give the lines of want.txt.
exec bash "$(dirname "$0")/expect_lines.sh" run
