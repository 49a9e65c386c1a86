#!/bin/bash
# tolmvol against a faulty D-blade (tolmnodesim's fault switches): a directory
# that lists itself is removed as far as it can be, without entering itself
# again, and a directory read that never ends stops with an error; both
# within a few seconds. Usage: faults.sh BUILD_DIR
set -u
BUILD=$1
NAME=faults
. "$(dirname "$0")/lib.sh"

mkdir -p "$W/vol/loop/sub" "$W/vol/endless"
touch "$W/vol/loop/a" "$W/vol/loop/b" "$W/vol/loop/sub/c" "$W/vol/endless/x"

start_sim --fs-self-listing loop --fs-endless-dir endless || { echo "tolmnodesim did not start" >&2; exit 1; }

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

finish
