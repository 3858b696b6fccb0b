#!/usr/bin/env bash
# launcher_check.sh TARVEL OWN OTHER LINE DECKDIR SCRATCH
# A job of 2 processes started by the launcher of another MPI (OTHER: the
# launcher and its options, split at blanks) is refused: a nonzero exit
# code, LINE and the line of the way out on standard output and nothing
# else there, and no file written (the deck of DECKDIR writes a log file and
# latout.dat). The same deck started by the program's own launcher (OWN) at
# 2 processes runs and writes both. A parameter scan: the other launcher
# starts 2 tasks, each of which runs tarvel in a folder of its own with
# TARVEL_SINGLE_JOB=1; both run and write both files there.
set -u
tarvel=$1; own=$2; other=$3; line=$4; deck=$5; scratch=$6
way_out=" (independent one-process runs, each in its own folder: set TARVEL_SINGLE_JOB=1)"
read -r -a other_cmd <<<"$other"
fail=0
for launch in other own scan; do
  run=$scratch/$launch; rm -rf "$run"; mkdir -p "$run"; cp -r "$deck"/. "$run"/
  cd "$run" || exit 2
  case $launch in
  other)
    timeout 60 "${other_cmd[@]}" -n 2 "$tarvel" >stdout.txt 2>stderr.txt </dev/null; rc=$?
    [ "$rc" != 0 ] && [ "$rc" != 124 ] || { echo "$launch: exit code $rc"; fail=1; }
    [ "$(cat stdout.txt)" = "$line"$'\n'"$way_out" ] || {
      echo "$launch: standard output:"; cat stdout.txt; echo "expected:"; echo "$line"; echo "$way_out"; fail=1; }
    written=$(ls -A | grep -vxE 'tarvel.in|stdout.txt|stderr.txt')
    [ -z "$written" ] || { echo "$launch: files written: $written"; fail=1; } ;;
  own)
    timeout 60 "$own" -n 2 "$tarvel" >stdout.txt 2>stderr.txt </dev/null; rc=$?
    [ "$rc" = 0 ] || { echo "$launch: exit code $rc"; cat stdout.txt stderr.txt; fail=1; }
    [ -s run.log ] && [ -s latout.dat ] || { echo "$launch: run.log or latout.dat missing"; fail=1; }
    grep -q ' error' stdout.txt && { echo "$launch: an error line"; fail=1; } ;;
  scan)
    mkdir task0 task1; cp tarvel.in task0/; cp tarvel.in task1/
    cat >scan.sh <<SCAN
#!/usr/bin/env bash
cd task\${OMPI_COMM_WORLD_RANK:-\${PMI_RANK:-x}} && TARVEL_SINGLE_JOB=1 exec "$tarvel" >stdout.txt 2>stderr.txt
SCAN
    timeout 60 "${other_cmd[@]}" -n 2 bash scan.sh </dev/null >stdout.txt 2>stderr.txt; rc=$?
    [ "$rc" = 0 ] || { echo "$launch: exit code $rc"; cat stdout.txt stderr.txt task*/stdout.txt; fail=1; }
    for t in task0 task1; do
      [ -s $t/run.log ] && [ -s $t/latout.dat ] || { echo "$launch: $t: run.log or latout.dat missing"; fail=1; }
      grep -q ' error' $t/stdout.txt && { echo "$launch: $t: an error line"; fail=1; }
    done ;;
  esac
done
exit $fail
