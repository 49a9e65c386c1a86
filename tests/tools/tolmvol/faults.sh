#!/bin/bash
# tolmvol against a faulty D-blade (tolmnodesim's fault switches): a directory
# that lists itself is removed as far as it can be, without entering itself
# again, and a directory read that never ends stops with an error; both
# within a few seconds. Usage: faults.sh BUILD_DIR
set -u
BUILD=$1
SIM=$BUILD/sim/tolmnodesim/tolmnodesim
VOL=$BUILD/tools/tolmvol/tolmvol
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(readlink -f "$0")")/../../lsan.supp}"

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "faults: no private namespace under CI" >&2; exit 1; fi
    echo "faults: no private namespace; skipped"; exit 0
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
W=$(mktemp -d /tmp/tolmvol-faults.XXXXXX)
cleanup() {
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$W"
}
trap cleanup EXIT
mkdir -p "$W/vol/loop/sub" "$W/vol/endless"
touch "$W/vol/loop/a" "$W/vol/loop/b" "$W/vol/loop/sub/c" "$W/vol/endless/x"

"$SIM" --root "$W/node" --volume "$W/vol" --no-mgmt --no-stream --fs-self-listing loop \
    --fs-endless-dir endless 2> "$W/sim.err" &
SPID=$!
for _ in $(seq 100); do grep -q "serving under" "$W/sim.err" && break; sleep 0.1; done
grep -q "serving under" "$W/sim.err" || { echo "tolmnodesim did not start" >&2; cat "$W/sim.err" >&2; exit 1; }

# The directory that lists itself: what comes before "itself" goes, and the
# removal stops there.
timeout 20 "$VOL" rmdir -r /loop > "$W/out" 2> "$W/err"
rc=$?
[ "$rc" = 1 ] || fail "rmdir -r of a self-listing directory: exit $rc, expected 1"
grep -q '^tolmvol: /loop/itself: TolmFsLib Internal Error : Dblade Returned Invalid Data (0x1000016): a directory entered before$' "$W/err" ||
    fail "rmdir -r message: $(head -c 300 "$W/err")"
[ -e "$W/vol/loop/a" ] || [ -e "$W/vol/loop/b" ] && fail "rmdir -r left the files before the loop"
[ -d "$W/vol/loop/sub" ] || fail "rmdir -r went on after the loop"

# The endless read: refused once the read goes past its bound.
start=$(date +%s)
timeout 60 "$VOL" ls /endless > "$W/out" 2> "$W/err"
rc=$?
[ "$rc" = 1 ] || fail "ls of an endless directory: exit $rc, expected 1"
grep -q '^tolmvol: /endless: TolmFsLib Internal Error : Dblade Returned Invalid Data (0x1000016)$' "$W/err" ||
    fail "ls message: $(head -c 300 "$W/err")"
echo "faults: the endless read ended after $(($(date +%s) - start)) s"

if [ "$failures" -ne 0 ]; then
    echo "faults: $failures failures" >&2
    exit 1
fi
echo "faults: all checks passed"
