#!/bin/bash
# rfping against rfecho on the loopback, both dropping the given percentage of their
# datagrams: every call must come back with its own body.
# usage: rf-loss.sh RFECHO RFPING DROP COUNT PARALLEL SIZE
set -euo pipefail
rfecho=$1 rfping=$2 drop=$3 count=$4 parallel=$5 size=$6
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
report=$("$rfping" 127.0.0.1 "$port" --count "$count" --size "$size" --parallel "$parallel" \
    --drop "$drop" --stats)
status=$?
echo "$report"
grep -qx "calls: $count" <<<"$report"
grep -qx "failures: 0" <<<"$report"
exit $status
