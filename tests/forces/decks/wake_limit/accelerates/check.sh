#!/usr/bin/env bash
# The lines of the run, and a monitor file of finite numbers only.
bash "$(dirname "$0")/../../../expect_lines.sh" run || exit 1
awk 'NF != 7 { bad = 1 } { for (i = 1; i <= NF; i++) if ($i != $i + 0 || $i ~ /[nN][aA][nN]|[iI][nN][fF]/) bad = 1 }
     END { if (bad || NR != 3) { print "end.dat is not three records of finite numbers"; exit 1 } }' end.dat
