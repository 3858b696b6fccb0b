#!/usr/bin/env bash
# The check of a deck whose force evaluation the forces layer refuses after
# an earlier run or step: the lines of want.txt, in order.
exec bash "$(dirname "$0")/expect_lines.sh" run
