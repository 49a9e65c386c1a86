#!/bin/bash
# rfping against rfecho on the loopback, both dropping the given percentage of their
# datagrams: every call must come back with its own body. With MAX_TIMEOUTS given, up to
# that many calls may instead end with the call time-out (-1) -- at heavy loss a call queued
# behind lost packets can run out of time -- but no call may fail in any other way.
# usage: rf-loss.sh RFECHO RFPING DROP COUNT PARALLEL SIZE [MAX_TIMEOUTS]
set -euo pipefail
rfecho=$1 rfping=$2 drop=$3 count=$4 parallel=$5 size=$6 maxTimeouts=${7:-0}
out=$(mktemp)
"$rfecho" --port 0 --drop "$drop" >"$out" &
echo_pid=$!
trap 'rc=$?; kill $echo_pid 2>/dev/null; wait $echo_pid 2>/dev/null || true; rm -f "$out"; exit $rc' EXIT
for _ in $(seq 100); do
    grep -q '^rfecho: port ' "$out" && break
    sleep 0.05
done
port=$(sed -n 's/^rfecho: port //p' "$out")
[ -n "$port" ] || { echo "rfecho did not start" >&2; exit 1; }
# rfping exits 1 when any call failed; the report says how.
status=0
report=$("$rfping" 127.0.0.1 "$port" --count "$count" --size "$size" --parallel "$parallel" \
    --drop "$drop" --stats) || status=$?
echo "$report"
grep -qx "calls: $count" <<<"$report"
failures=$(sed -n 's/^failures: //p' <<<"$report")
timeouts=$(sed -n 's/^failures with error -1: //p' <<<"$report")
timeouts=${timeouts:-0}
[ "$failures" = "$timeouts" ] || { echo "failures other than the call time-out" >&2; exit 1; }
[ "$timeouts" -le "$maxTimeouts" ] || { echo "$timeouts time-outs, at most $maxTimeouts allowed" >&2; exit 1; }
[ "$status" = 0 ] || [ "$status" = 1 ]
