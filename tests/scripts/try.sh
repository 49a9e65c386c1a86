#!/bin/bash
# try.sh SOURCE BUILD: scripts/try (its inner stage, on this build) runs a
# command beside a daemon that has two snapshots: rates can be taken at once;
# the daemon stops cleanly when the command ends and the files are removed.
set -u
SRC=$1
BUILD=$2
OUT=$(mktemp /tmp/tolmtry-test.XXXXXX)
trap 'rm -f "$OUT"' EXIT
# The preload library is not built with the sanitizers.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
TOLM_TRY_STAGE=inner BUILD=$BUILD "$SRC/tests/netns-run" "$SRC/scripts/try" bash -c '
    echo "$TOLM_TRY_WORK" >"$0"
    tolmstat rate fcd | grep -q "^global.readIOs " || { echo "FAIL: no rate of global.readIOs"; exit 1; }
    tolmstat metrics | grep -q "^tolm_fcd_global_read_ios_total " || { echo "FAIL: no metrics"; exit 1; }
    kill -0 "$TOLM_TRY_PID" || { echo "FAIL: no daemon"; exit 1; }
    exit 7' "$OUT"
rc=$?
if [ "$rc" != 7 ]; then
    echo "FAIL: scripts/try returned $rc, not the command's 7"
    exit 1
fi
work=$(cat "$OUT")
if [ -z "$work" ] || [ -e "$work" ]; then
    echo "FAIL: the work directory '$work' is left"
    exit 1
fi
echo "try.sh: all checks passed"
