#!/usr/bin/env bash
# The check of a deck whose first force evaluation the forces layer refuses.
exec bash "$(dirname "$0")/expect_lines.sh" evaluation
