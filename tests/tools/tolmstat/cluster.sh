#!/bin/bash
# A cluster of four simulated nodes (tests/cluster-run), every daemon
# persisting into the one statistics volume, each keeping its own count
# (node N keeps N + 6): the host directories hold each node's own records,
# pruned to its count; tolmstat cluster live and from the volume agree; a
# stopped daemon is "unreachable" at once and a frozen one within 2.5 s,
# while the archive still shows its last snapshot; a real Prometheus scrapes
# all four exporters. Usage: cluster.sh BUILD_DIR (run by cluster-run).
set -u
. "$(dirname "$(readlink -f "$0")")/../../node-test.sh" cluster "$1"
if [ -z "${TOLM_CLUSTER_WORK:-}" ]; then echo "cluster: run it through tests/cluster-run" >&2; exit 1; fi
for tool in prometheus curl python3; do
    command -v "$tool" >/dev/null || { echo "cluster: $tool is missing" >&2; exit 1; }
done
C=$TOLM_CLUSTER_WORK
read -r -a NODES <<<"$TOLM_CLUSTER_NODES"
HOSTS=$(IFS=,; echo "${NODES[*]}")
F=(nfs3.read.succeeded nfs3.getAttr.succeeded)
W=$(mktemp -d /tmp/tolmclustertest.XXXXXX)
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$W"
}
trap cleanup EXIT
keeps() { echo $((${1#node} + 6)); }
daemonOf() { cat "$C/$1/daemon.pid"; }
# Stops a node's daemon cleanly (it is no child of ours: its pid is polled).
stopDaemon() {
    local pid
    pid=$(daemonOf "$1")
    kill -TERM "$pid"
    for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
    fail "$1's daemon did not stop"
}

# Every node's count of snapshots in its host directory.
for _ in $(seq 1 300); do
    full=0
    for n in "${NODES[@]}"; do
        [ "$(ls "$C/vol/$n" 2>/dev/null | wc -l)" -ge "$(keeps "$n")" ] && full=$((full + 1))
    done
    [ "$full" = ${#NODES[@]} ] && break
    sleep 0.2
done
[ "$full" = ${#NODES[@]} ] || fail "host directories: $(ls "$C/vol")"

# Prometheus in the parent namespace, scraping the four exporters.
{
    echo "global: {scrape_interval: 1s, scrape_timeout: 1s}"
    echo "scrape_configs:"
    echo "  - job_name: tolm"
    echo "    static_configs:"
    echo "      - targets: [$(for n in "${NODES[@]}"; do printf "'%s:9746'," "$n"; done | sed 's/,$//')]"
} >"$W/prometheus.yml"
prometheus --config.file="$W/prometheus.yml" --storage.tsdb.path="$W/prom" \
    --web.listen-address=127.0.0.1:9090 >"$W/prometheus.log" 2>&1 &
PIDS+=($!)

# Live and from the volume over the same pair of snapshots: the live pair of
# each node, asked of the volume as a window once it is persisted. A
# timestamp directory is named by the time of persisting, and two persisted
# in one second share it (the later overwrites), so a daemon whose
# persistence lags may never persist a given pair: such a node is asked
# again, with a new pair, a few times.
python3 - "$TOLMSTAT" "$HOSTS" "${F[@]}" <<'PY' || fail "live and archive disagree"
import json, subprocess, sys, time
tolmstat, hosts, fields = sys.argv[1], sys.argv[2].split(","), sys.argv[3:]
def cluster(*args):
    # A snapshot being written as it is read is skipped with a warning:
    # the volume is checked whole once the daemons have stopped.
    p = subprocess.run([tolmstat, *args, "cluster", "nblade", *fields, "--json"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return {r["node"]: r for r in json.loads(p.stdout)} if p.returncode == 0 else {}
left, ok = list(hosts), True
for attempt in range(6):
    if not left:
        break
    live = cluster("--hosts", ",".join(left))
    if attempt == 0 and list(live) != hosts:
        print("live rows:", list(live)); ok = False
    for node in list(left):
        r = live.get(node)
        if not r or r["state"] != "ok" or r["seconds"] <= 0 or None in r["rates"].values():
            print("live:", r); ok = False; left.remove(node); continue
        for _ in range(50):
            a = cluster("--archive", "--from", str(r["from"]), "--to", str(r["newest"])).get(node, {})
            if a.get("from") == r["from"] and a.get("newest") == r["newest"]:
                break
            time.sleep(0.1)
        if a.get("from") == r["from"] and a.get("newest") == r["newest"]:
            if a["state"] != "ok" or a["rates"] != r["rates"]:
                print("live:", r, "\narchive:", a); ok = False
            left.remove(node)
if left:
    print("never a live pair found in the volume:", left); ok = False
sys.exit(0 if ok else 1)
PY
[ -s "$W/archive.err" ] && fail "archive warnings: $(cat "$W/archive.err")"
"$TOLMSTAT" --hosts "$HOSTS" cluster nblade "${F[@]}" >"$W/live.txt" || fail "cluster live, as text"
[ "$(head -1 "$W/live.txt" | tr -s ' ')" = "node newest age ${F[*]}" ] || fail "header: $(head -1 "$W/live.txt")"
[ "$(grep -c '^node[1-4] ' "$W/live.txt")" = 4 ] || fail "text rows: $(cat "$W/live.txt")"

# Each host directory holds its own node's records, no other's: they are its
# daemon's, and each FCD record has that node's disks (node N has N + 1).
for n in "${NODES[@]}"; do
    "$TOLMSTAT" --host "$n" all fcd --json >"$W/$n.daemon.json" || fail "all from $n"
    "$TOLMSTAT" --archive --node "$n" all fcd --json >"$W/$n.vol.json" 2>>"$W/archive.err" ||
        fail "all from /$n"
done
python3 - "$W" "${NODES[@]}" <<'PY' || fail "a host directory holds another node's records"
import json, sys
w, nodes = sys.argv[1], sys.argv[2:]
load = lambda f: {e["record"]["created"]: e["record"] for e in json.load(open(f"{w}/{f}"))}
ok = True
for n in nodes:
    mine, vol = load(f"{n}.daemon.json"), load(f"{n}.vol.json")
    same = [t for t in vol if t in mine and vol[t] == mine[t]]
    disks = {len(r["disk"]) for r in vol.values()}
    if len(same) < 2 or disks != {int(n[4:]) + 1}:
        print(n, len(vol), "snapshots,", len(same), "its daemon's; disks", disks); ok = False
sys.exit(0 if ok else 1)
PY

# All four up in Prometheus.
query() {
    curl -sf --data-urlencode "query=$1" http://127.0.0.1:9090/api/v1/query |
        python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else "")'
}
for _ in $(seq 1 150); do [ "$(query 'count(up == 1)' 2>/dev/null)" = 4 ] && break; sleep 0.2; done
[ "$(query 'count(up == 1)')" = 4 ] || fail "up in Prometheus: $(query 'count(up == 1)') of 4"
[ "$(query 'count(tolm_up == 1)')" = 4 ] || fail "tolm_up in Prometheus"
[ "$(query 'count(count by (instance) (tolm_nblade_nfs3_read_succeeded_total))')" = 4 ] ||
    fail "the nodes' counters in Prometheus"

# node2's daemon frozen, node3's stopped: both unreachable, the others answer.
stopDaemon node3
last3=$("$TOLMSTAT" --archive --node node3 timestamps | tail -1 | cut -d' ' -f1)
kill -STOP "$(daemonOf node2)"
start=$(date +%s%N)
"$TOLMSTAT" --hosts "$HOSTS" cluster nblade "${F[@]}" --csv >"$W/down.csv" 2>"$W/down.err"
took=$((($(date +%s%N) - start) / 1000000))
kill -CONT "$(daemonOf node2)"
python3 - "$W/down.csv" "$took" <<'PY' || fail "with two daemons down: $(cat "$W/down.csv" "$W/down.err")"
import csv, sys
rows = {r["node"]: r for r in csv.DictReader(open(sys.argv[1]))}
ok = int(sys.argv[2]) < 2500
for n in ("node2", "node3"):
    ok = ok and rows[n]["newest"] == "unreachable" and rows[n]["age"] == ""
for n in ("node1", "node4"):
    ok = ok and rows[n]["newest"].isdigit() and rows[n]["nfs3.read.succeeded"] != ""
print("took", sys.argv[2], "ms"); sys.exit(0 if ok else 1)
PY
grep -q "node3: .*Program not registered" "$W/down.err" || fail "why node3 is unreachable: $(cat "$W/down.err")"
grep -q "node2: no answer in time" "$W/down.err" || fail "why node2 is unreachable: $(cat "$W/down.err")"
# The volume still has node3's last snapshot, and it grows old.
"$TOLMSTAT" --archive cluster nblade "${F[@]}" --csv >"$W/after.csv" || fail "archive with node3 down"
python3 - "$W/after.csv" "$last3" <<'PY' || fail "node3 in the archive: $(cat "$W/after.csv")"
import csv, sys
rows = {r["node"]: r for r in csv.DictReader(open(sys.argv[1]))}
r = rows.get("node3")
sys.exit(0 if r and r["newest"] == sys.argv[2] and int(r["age"]) >= 0 and sorted(rows) == ["node1", "node2", "node3", "node4"] else 1)
PY

# Every daemon stopped cleanly: each host directory pruned to its own count,
# and the whole volume sound.
for n in "${NODES[@]}"; do [ "$n" = node3 ] || stopDaemon "$n"; done
for n in "${NODES[@]}"; do
    [ "$(ls "$C/vol/$n" | wc -l)" = "$(keeps "$n")" ] || fail "/$n holds $(ls "$C/vol/$n" | wc -l), not $(keeps "$n")"
done
"$TOLMVOL" check >"$W/check.out" 2>&1 || fail "tolmvol check: $(cat "$W/check.out")"
[ -s "$W/check.out" ] && fail "tolmvol check said: $(cat "$W/check.out")"
grep -E "$TOLM_CLUSTER_PERSIST_FAILURES" "$C"/node*/daemon.log && fail "persistence failures logged"
grep -q "Persisting binary" "$C/node4/daemon.log" || fail "no persistence in node4's log"

if [ "$failures" -ne 0 ]; then echo "cluster: $failures failures" >&2; exit 1; fi
echo "cluster: all checks passed"
