#!/bin/bash
# Signals during the daemon's teardown: SIGTERM, then 0-4 ms later SIGUSR1 or a
# second SIGTERM, repeated until the window between the stop and the end of the
# process has been hit many times. Every run must end with exit status 0 (a dump
# or stop handler touching a destroyed CollectorMain ends in SIGABRT, or in a
# use-after-free report under AddressSanitizer). Runs inside tests/netns-run.
# Usage: teardown.sh BUILD_DIR [TRIALS]
set -u
BUILD=$1
TRIALS=${2:-200}
DAEMON=$BUILD/collect/tolmstatsd/tolmstatsd

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "teardown: no private namespace under CI" >&2; exit 1; fi
    echo "teardown: no private namespace; skipped"; exit 0
fi

WORK=$(mktemp -d /tmp/tolmteardown.XXXXXX)
if [ -L /var/lock ]; then
    mkdir -p "$(readlink -f /var/lock)"
else
    mount -t tmpfs tmpfs /var/lock
fi
mkdir -p /var/lock/subsys "$WORK/dump"
trap 'rm -rf "$WORK"' EXIT

registered() { rpcinfo -p 127.0.0.1 2>/dev/null | grep -qw 536873216; }
# The query port takes connections once the signal thread runs (it starts
# first); checked without starting a program.
listening() { (exec 3<>/dev/tcp/127.0.0.1/951) 2>/dev/null; }

failures=0
for trial in $(seq 1 "$TRIALS"); do
    # No node to collect from: collections are quick and the history grows.
    "$DAEMON" --nodaemon --base 1 --dumpdir "$WORK/dump" >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    for _ in $(seq 1 500); do listening && break; sleep 0.01; done
    delay=$(printf '0.00%d' $((trial % 5)))
    second=USR1
    [ $((trial % 3)) = 0 ] && second=TERM
    kill -TERM "$pid"
    sleep "$delay"
    kill -"$second" "$pid" 2>/dev/null
    # A stop takes under 2 s; one that hangs (a handler on a destroyed
    # object, say) is killed after 20 s and fails the trial.
    for _ in $(seq 1 2000); do kill -0 "$pid" 2>/dev/null || break; sleep 0.01; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "trial $trial: still running 20 s after the stop" >&2
        kill -9 "$pid"
    fi
    wait "$pid"
    rc=$?
    if [ "$rc" != 0 ]; then
        failures=$((failures + 1))
        echo "trial $trial (SIGTERM, ${delay}s, SIG$second): exit status $rc" >&2
        tail -20 "$WORK/err" >&2
    fi
    if registered; then
        failures=$((failures + 1))
        echo "trial $trial: still registered after the stop" >&2
        rpcinfo -d 536873216 1 2>/dev/null
    fi
done
echo "teardown: $TRIALS trials, $failures failures"
[ "$failures" = 0 ]
