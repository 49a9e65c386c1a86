# Shared by the tolmvol test scripts; sourced with NAME set to the script's
# name and BUILD to the build folder. Checks that it runs in the private
# namespace, and gives fail, a work folder $W removed at exit (with the
# simulator $SPID stopped) and start_sim.
SIM=$BUILD/sim/tolmnodesim/tolmnodesim
VOL=$BUILD/tools/tolmvol/tolmvol
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../../lsan.supp}"

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "$NAME: no private namespace under CI" >&2; exit 1; fi
    echo "$NAME: no private namespace; skipped"; exit 0
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
W=$(mktemp -d "/tmp/$NAME.XXXXXX")
cleanup() {
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$W"
}
trap cleanup EXIT

# start_sim [OPTIONS...]: tolmnodesim serving $W/vol; false when it does not start.
start_sim() {
    "$SIM" --root "$W/node" --volume "$W/vol" --no-mgmt --no-stream "$@" 2> "$W/sim.err" &
    SPID=$!
    for _ in $(seq 100); do grep -q "serving under" "$W/sim.err" && break; sleep 0.1; done
    grep -q "serving under" "$W/sim.err" && return 0
    cat "$W/sim.err" >&2
    return 1
}
stop_sim() {
    kill "$SPID"
    wait "$SPID" 2>/dev/null
    SPID=
}
# finish: the summary line and the exit status.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$NAME: $failures failures" >&2
        exit 1
    fi
    echo "$NAME: all checks passed${1:+ ($1)}"
    exit 0
}
