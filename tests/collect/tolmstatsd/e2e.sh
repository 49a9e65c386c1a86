#!/bin/bash
# End to end: the unchanged daemon against the simulated node, inside the
# private namespace of tests/netns-run (own network, rpcbind, /run and a
# private /var/lock). Usage: e2e.sh BUILD_DIR
set -u
. "$(dirname "$(readlink -f "$0")")/../../node-test.sh" e2e "$1"
check() { if ! eval "$1"; then fail "$2"; fi; }

WORK=$(mktemp -d /tmp/tolme2e.XXXXXX)
mkdir -p "$WORK/sim" "$WORK/dump"
cleanup() {
    [ -n "${DPID:-}" ] && kill -9 "$DPID" 2>/dev/null
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

"$SIM" --root "$WORK/sim" >"$WORK/sim.log" 2>&1 &
SPID=$!
for _ in $(seq 1 100); do [ -e "$WORK/sim/stream.d/bcptime" ] && break; sleep 0.1; done

# A sanitizer build of the daemon accepts the preload library ahead of its
# runtime.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0"
start_daemon() {
    TOLM_SIM_ROOT="$WORK/sim" LD_PRELOAD="$PRELOAD" "$DAEMON" --nodaemon --debug --base 1 "$@" \
        >>"$WORK/daemon.out" 2>>"$WORK/daemon.err" &
    DPID=$!
}
wait_snapshots() {
    for _ in $(seq 1 150); do
        [ "$("$TOLMSTAT" timestamps 2>/dev/null | wc -l)" -ge "$1" ] && return 0
        sleep 0.2
    done
    return 1
}

start_daemon --dumpdir "$WORK/dump"
check 'wait_snapshots 3' "three snapshots within 30 s"
check '[ -e /var/lock/subsys/tolmstatsd ]' "lock file taken"

# A second instance: "tolmstatsd already running", exit 1, the lock stays.
"$DAEMON" --nodaemon --debug >"$WORK/second.out" 2>"$WORK/second.err"
rc=$?
check "[ $rc = 1 ]" "second instance exits 1 (got $rc)"
check 'grep -q "tolmstatsd already running" "$WORK/second.err"' "second instance says so"
check '[ -e /var/lock/subsys/tolmstatsd ]' "first lock file stays"

# Queries through tolmstat.
check '"$TOLMSTAT" latest nblade | xmllint --noout -' "latest nblade is XML"
check '"$TOLMSTAT" latest mgmtproc | grep -q "<tolmstatsd>"' "mgmt record finds the daemon"
check '"$TOLMSTAT" all fcd --json | python3 -m json.tool >/dev/null' "all fcd as JSON"
check '"$TOLMSTAT" all nblade | xmllint --noout -' "all nblade is one XML document"
n=$("$TOLMSTAT" timestamps | wc -l)
check '[ "$("$TOLMSTAT" all mgmtproc --dump | grep -c "^== [0-9]* [0-9]\{8\}-[0-9]\{6\}$")" -ge "$n" ]' "a line before each dumped record"
# "at" by number and by the printed stamp; nothing beyond 32 bits.
read -r t s < <("$TOLMSTAT" timestamps | head -1)
check 'cmp -s <("$TOLMSTAT" at "$t" fcd) <("$TOLMSTAT" at "$s" fcd)' "at by number and by stamp agree"
"$TOLMSTAT" at $((t + 4294967296)) fcd >/dev/null 2>"$WORK/at.err"
rc=$?
check '[ $rc = 2 ] && grep -q "not a timestamp of 32 bits" "$WORK/at.err"' "at beyond 32 bits refused (got $rc)"
"$TOLMSTAT" at -5 fcd >/dev/null 2>&1
rc=$?
check "[ $rc = 2 ]" "at -5 refused (got $rc)"
"$TOLMSTAT" at 1 fcd >/dev/null 2>&1
rc=$?
check "[ $rc = 1 ]" "no snapshot at 1: status 1 (got $rc)"
"$TOLMSTAT" timestamps --json >/dev/null 2>&1
rc=$?
check "[ $rc = 2 ]" "timestamps --json refused (got $rc)"
"$TOLMSTAT" latest fcd --xml --json >/dev/null 2>&1
rc=$?
check "[ $rc = 2 ]" "--xml --json refused (got $rc)"

# Rates between two snapshots, the watch view and the Prometheus text.
check '"$TOLMSTAT" rate fcd | grep -q "^global.readIOs  *[0-9][0-9]*  *[0-9.]*/s$"' "rate fcd lists the totals"
check '"$TOLMSTAT" rate lp --json | python3 -c "import json, sys; d = json.load(sys.stdin); assert d[\"seconds\"] > 0 and any(r[\"labels\"].get(\"vfsid\") for r in d[\"rates\"])"' "rate lp as JSON, per volume"
read -r t1 _ < <("$TOLMSTAT" timestamps | sed -n 1p)
read -r t2 _ < <("$TOLMSTAT" timestamps | sed -n 2p)
check '"$TOLMSTAT" rate nblade --from "$t1" --to "$t2" | head -1 | grep -q "^nblade: $t1 .* -> $t2 "' "rate between chosen snapshots"
"$TOLMSTAT" rate nblade --from "$t2" --to "$t1" >/dev/null 2>&1
rc=$?
check "[ $rc = 2 ]" "rate backwards refused (got $rc)"
check '[ "$("$TOLMSTAT" watch fcd global.readIOs disk.numReadIOs --interval 1 --count 2 | wc -l)" = 3 ]' "watch: a header and two lines"
"$TOLMSTAT" watch fcd global.nosuch --count 1 >/dev/null 2>&1
rc=$?
check "[ $rc = 2 ]" "watch of an unknown field refused (got $rc)"
if command -v promtool >/dev/null 2>&1; then
    check '"$TOLMSTAT" metrics | promtool check metrics' "metrics accepted by promtool"
else
    check '[ -z "${CI:-}" ]' "promtool present (package prometheus)"
fi
check '"$TOLMSTAT" metrics | grep -q "^tolm_mgmtproc_vmrss_bytes{process=\"tolmstatsd\"} [1-9]"' "metrics carry the daemon's own memory"

# Every collector found its simulated source: the N-blade files and stream
# service, the D-blade block through the control file, the storage services
# (4 pools, every third offline, 8 volumes each; 16 disks) and the management
# processes.
field() {  # field TYPE EXPRESSION: EXPRESSION over the latest record r (JSON)
    "$TOLMSTAT" latest "$1" --json | python3 -c "import json, sys; r = json.load(sys.stdin); print($2)"
}
check '[ "$(field nblade "r[\"_nfsStatsRpcStatus\"], r[\"_cifsStatsRpcStatus\"]")" = "0 0" ]' "stream service reached"
check '[ "$(field nblade "r[\"transport\"][\"numInPkts\"] > 0 and r[\"sidCache\"][\"lookups2\"] > 0")" = True ]' "N-blade files read"
check '[ "$(field dblade "0 < r[\"cpu0PercentIdle\"] <= 100 and r[\"inode\"][\"getAttrCounter\"] > 0")" = True ]' "D-blade block read"
check '[ "$(field lp "[len(p.get(\"vfs\", [])) for p in r[\"lp\"]]")" = "[8, 8, 0, 8]" ]' "pools and volumes listed"
check '[ "$(field fcd "len(r[\"disk\"]), r[\"global\"][\"opsCompleted\"] > 0")" = "16 True" ]' "FCD disks listed"
check '[ "$(field mgmtproc "all(r[n][\"vmrss\"] > 0 for n in (\"tomcat\", \"vldb\", \"hamgr\", \"tolmauthd\", \"tolmstatsd\"))")" = True ]' "management processes found"

# The collectors' RPC clients take ordinary ports: no connection to one of the
# node services sits on a local port below 1024 (a client bound to a reserved
# port leaves it in TIME_WAIT after each collection). tolmstat, run as root
# here, may use reserved ports itself: only connections to the services count.
reserved_clients() {
    rpcinfo -p 127.0.0.1 | python3 -c '
import sys
services = {536872192, 536871680, 536871687, 536871685}
ports = {int(f[3]) for f in (l.split() for l in sys.stdin) if f[0].isdigit() and int(f[0]) in services}
used = set()
for line in open("/proc/net/tcp").readlines()[1:]:
    f = line.split()
    local, remote = (int(a.split(":")[1], 16) for a in f[1:3])
    if f[3] != "0A" and remote in ports and local < 1024:
        used.add(local)
print(" ".join(str(p) for p in sorted(used)))'
}
ports=$(reserved_clients)
check '[ -z "$ports" ]' "client sockets on reserved ports: $ports"

# SIGUSR1: the binary dump tree.
kill -USR1 "$DPID"
for _ in $(seq 1 50); do [ -n "$(ls "$WORK/dump/tolmstats" 2>/dev/null)" ] && break; sleep 0.1; done
sleep 0.5
stamp=$(ls "$WORK/dump/tolmstats" | head -1)
check '[ ${#stamp} = 15 ]' "stamp directory name ($stamp)"
for f in nblade dblade lp fcd mgmtproc; do
    check '[ -s "$WORK/dump/tolmstats/$stamp/$f" ]' "dumped $f"
    check '"$TOLMDECODE" "$WORK/dump/tolmstats/$stamp/$f" | xmllint --noout -' "decoded $f"
done
check '[ "$(stat -c %s "$WORK/dump/tolmstats/$stamp/nblade")" = 3772 ]' "nblade file size"

# SIGTERM: exit 0 and no lock file.
kill -TERM "$DPID"
wait "$DPID"
rc=$?
DPID=
check "[ $rc = 0 ]" "SIGTERM exit status 0 (got $rc)"
check '[ ! -e /var/lock/subsys/tolmstatsd ]' "lock file removed"
check '! rpcinfo -p 127.0.0.1 | grep -qw 536873216' "program unregistered after the stop"
"$TOLMSTAT" timestamps >/dev/null 2>"$WORK/down.err"
rc=$?
check '[ $rc = 3 ] && grep -q "is tolmstatsd running on localhost?" "$WORK/down.err"' "no daemon: status 3 and a hint (got $rc)"

# XML dumps, with no lock directory at all: the daemon runs anyway.
rm -rf /var/lock/subsys "$WORK/dump/tolmstats"
start_daemon --dumpdir "$WORK/dump" --dumptype xml
check 'wait_snapshots 1' "unlocked daemon collects"
kill -USR1 "$DPID"
sleep 1
stamp=$(ls "$WORK/dump/tolmstats" | head -1)
for f in nblade dblade lp fcd mgmtproc; do
    check 'xmllint --noout "$WORK/dump/tolmstats/$stamp/$f.xml"' "$f.xml well-formed"
done
check 'grep -q "failed to open file: /var/lock/subsys/tolmstatsd" "$WORK/daemon.err"' "missing lock dir logged"
kill -INT "$DPID"
wait "$DPID"
rc=$?
DPID=
check "[ $rc = 0 ]" "SIGINT exit status 0 (got $rc)"

# Every field of the N-blade files, compared with what the simulated kernel
# side wrote: the simulator is frozen at one tick (no refresh for an hour) so
# that the record and DIR/nblade.expected describe the same files.
kill "$SPID"
wait "$SPID" 2>/dev/null
rm -rf "$WORK/sim"
"$SIM" --root "$WORK/sim" --period 3600 --no-mgmt >"$WORK/sim.log" 2>&1 &
SPID=$!
for _ in $(seq 1 100); do [ -e "$WORK/sim/nblade.expected" ] && break; sleep 0.1; done
mkdir -p /var/lock/subsys
start_daemon --dumpdir "$WORK/dump"
check 'wait_snapshots 1' "frozen node collected"
"$TOLMSTAT" latest nblade >"$WORK/nblade.xml"
mismatches=$(python3 - "$WORK/nblade.xml" "$WORK/sim/nblade.expected" <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
got = {}
for sub in root:
    for stat in sub.iter("statistic"):
        if stat.get("value") is not None:
            got[(sub.tag, stat.get("name"))] = int(stat.get("value"))
    for bucket in sub.iter("bucket"):
        got[(sub.tag, "histogram " + bucket.get("bucketno"))] = int(bucket.get("count"))
bad = []
count = 0
for line in open(sys.argv[2]):
    words = line.split()
    key = (words[0], " ".join(words[1:-1]))
    count += 1
    if got.get(key, 0) != int(words[-1]):
        bad.append("%s.%s: %s, written %s" % (key[0], key[1], got.get(key, 0), words[-1]))
if bad:
    print("; ".join(bad[:8]) + (" ..." if len(bad) > 8 else ""))
else:
    print("%d fields equal" % count)
PY
)
echo "e2e: N-blade record against the files written: $mismatches"
check '[ "$mismatches" = "$(wc -l <"$WORK/sim/nblade.expected") fields equal" ]' "N-blade fields differ from the files: $mismatches"
kill -TERM "$DPID"
wait "$DPID"
DPID=

# SIGTERM while every node service hangs: the collection stuck in a 25-second
# call is abandoned, and the daemon still ends at once, unregistered and
# without its lock file.
kill "$SPID"
wait "$SPID" 2>/dev/null
"$SIM" --root "$WORK/sim" --hang >"$WORK/sim.log" 2>&1 &
SPID=$!
mkdir -p /var/lock/subsys
for _ in $(seq 1 100); do rpcinfo -p 127.0.0.1 | grep -qw 536871680 && break; sleep 0.1; done
start_daemon --dumpdir "$WORK/dump"
for _ in $(seq 1 100); do rpcinfo -p 127.0.0.1 | grep -qw 536873216 && break; sleep 0.1; done
sleep 2
start=$(date +%s%N)
kill -TERM "$DPID"
wait "$DPID"
rc=$?
DPID=
elapsed=$((($(date +%s%N) - start) / 1000000))
echo "e2e: stop with every node service hanging took $elapsed ms"
check "[ $rc = 0 ]" "SIGTERM with hanging services: exit status 0 (got $rc)"
check "[ $elapsed -lt 10000 ]" "SIGTERM with hanging services waited for the call ($elapsed ms)"
check '[ ! -e /var/lock/subsys/tolmstatsd ]' "lock file removed after an abandoned collection"
check '! rpcinfo -p 127.0.0.1 | grep -qw 536873216' "program unregistered after an abandoned collection"

if [ "$failures" != 0 ]; then
    echo "---- daemon stderr" >&2
    tail -40 "$WORK/daemon.err" >&2
    echo "e2e: $failures failures" >&2
    exit 1
fi
echo "e2e: all checks passed"
