#!/usr/bin/env bash
# launcher_guard.sh LAUNCHER ARGS...
# Runs an MPI launcher and ends it if it hangs after its job has ended.
#
# Open MPI's launcher (4.1 with PMIx 4.2, as Debian ships it) now and then
# never returns after an MPI_Abort: every process of the job has ended and
# waits, unreaped, for the launcher, which is stuck in its own shutdown and
# ignores SIGTERM (seen in a few of a hundred aborted jobs on a loaded
# machine). This guard watches the launcher's child processes; once all of
# them have ended and the launcher has not reaped them within a grace
# period, it reports so, kills the launcher and exits with the job's code:
# the exit code of the process that ended it, else 128 + the signal that
# ended one, else 0.
set -u
grace_polls=${TARVEL_LAUNCHER_GRACE_POLLS:-25}   # polls of 0.2 s

exec 3<&0                      # a background job would otherwise get /dev/null
"$@" <&3 &
launcher=$!
exec 3<&-
trap 'kill -TERM "$launcher" 2>/dev/null' TERM INT HUP

# children of the launcher, from every one of its threads
children() {
    local f line
    for f in /proc/"$launcher"/task/*/children; do
        line=
        read -r line 2>/dev/null <"$f"   # no newline after the last
        [ -n "$line" ] && echo "$line"
    done
}

# state and wait status of a process, from the fields after its name
# (state is field 3, exit_code field 52 of /proc/PID/stat)
stat_of() {
    local line
    read -r line 2>/dev/null </proc/"$1"/stat || return 1
    line=${line##*) }
    # shellcheck disable=SC2206
    local f=($line)
    echo "${f[0]} ${f[49]:-0}"
}

waited=0
while kill -0 "$launcher" 2>/dev/null; do
    sleep 0.2
    kids=$(children)
    [ -n "$kids" ] || { waited=0; continue; }
    all_ended=1
    rc=0
    for k in $kids; do
        read -r state code <<<"$(stat_of "$k" || echo "X 0")"
        if [ "$state" != Z ] && [ "$state" != X ]; then all_ended=0; break; fi
        # a wait status: exit code in bits 8-15, a signal in bits 0-6; an
        # exit code of its own (the process that ended the job) wins over
        # the signal that ended the others
        if [ $((code & 127)) = 0 ] && [ $(((code >> 8) & 255)) != 0 ]; then
            [ "$rc" = 0 ] || [ "$rc" -gt 128 ] && rc=$(((code >> 8) & 255))
        elif [ $((code & 127)) != 0 ] && [ "$rc" = 0 ]; then
            rc=$((128 + (code & 127)))
        fi
    done
    if [ "$all_ended" = 0 ]; then waited=0; continue; fi
    waited=$((waited + 1))
    [ "$waited" -ge "$grace_polls" ] || continue
    echo "launcher_guard: $1 did not end after every process of its job had ended; stopped it (exit code $rc)" >&2
    kill -KILL "$launcher" 2>/dev/null
    wait "$launcher" 2>/dev/null
    exit "$rc"
done
wait "$launcher"
