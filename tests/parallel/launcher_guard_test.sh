#!/usr/bin/env bash
# launcher_guard_test.sh GUARD
# The launcher guard against stand-in launchers (perl, which reaps no child
# by itself): one that hangs, deaf to SIGTERM, after its job's processes have
# ended is stopped within seconds with the job's exit code; one that ends by
# itself keeps its own exit code and passes standard input on.
set -u
guard=$1
if [ ! -e /proc/$$/task/$$/children ]; then
  echo "this kernel lists no child processes in /proc: the guard cannot act here"; exit 77
fi
export TARVEL_LAUNCHER_GRACE_POLLS=5
fail=0
check() {  # NAME EXPECTED_RC EXPECTED_OUTPUT SECONDS_AT_MOST COMMAND...
  local name=$1 want_rc=$2 want_out=$3 most=$4; shift 4
  local start out rc elapsed
  start=$(date +%s)
  out=$(echo input | timeout -k 2 60 bash "$guard" "$@" 2>/dev/null); rc=$?
  elapsed=$(( $(date +%s) - start ))
  [ "$rc" = "$want_rc" ] || { echo "$name: exit code $rc, expected $want_rc"; fail=1; }
  [ "$out" = "$want_out" ] || { echo "$name: output '$out', expected '$want_out'"; fail=1; }
  [ "$elapsed" -le "$most" ] || { echo "$name: took $elapsed s"; fail=1; }
}
# a launcher of one child for each argument (an exit code, or K: killed by
# SIGKILL) that then never ends
hang='$SIG{TERM}="IGNORE"; for $c (@ARGV) { if (fork() == 0) { kill 9, $$ if $c eq "K"; exit $c } } sleep 1000'
check "hung after exit codes 0 and 3" 3 "" 10 perl -e "$hang" 0 3
check "hung after one killed, one exit code" 3 "" 10 perl -e "$hang" K 3
check "hung after one killed" 137 "" 10 perl -e "$hang" 0 K
check "hung after all ended with 0" 0 "" 10 perl -e "$hang" 0 0
check "ends by itself" 5 "input" 10 perl -e 'print scalar <STDIN>; exit 5'
exit $fail
