#!/bin/bash
# tolmstat over its three sources in one run: the daemon persisting binary
# records into tolmnodesim's statistics volume and dumping on SIGUSR1, then
# the same snapshots asked of the daemon, of the volume (through the location
# services and stand-alone) and of the dump tree. Usage: sources.sh BUILD_DIR
set -u
. "$(dirname "$(readlink -f "$0")")/../../node-test.sh" sources "$1"
KEEP=${KEEP:-}
W=$(mktemp -d /tmp/tolmsources.XXXXXX)
mkdir -p "$W/dump"
cleanup() {
    [ -n "${DPID:-}" ] && kill -9 "$DPID" 2>/dev/null
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    [ -n "$KEEP" ] || rm -rf "$W"
}
trap cleanup EXIT

"$SIM" --root "$W/sim" --volume "$W/vol" >"$W/sim.log" 2>&1 &
SPID=$!
for _ in $(seq 1 100); do grep -q "serving under" "$W/sim.log" && break; sleep 0.1; done
TOLM_SIM_ROOT="$W/sim" LD_PRELOAD="$PRELOAD" "$DAEMON" --nodaemon --base 1 --dumpdir "$W/dump" \
    --persistsamplerate 1 --persisttype binary --persistentries 100 >"$W/daemon.log" 2>&1 &
DPID=$!
NODE=$(hostname)
# Six persisted snapshots.
for _ in $(seq 1 150); do
    [ "$("$TOLMSTAT" --archive timestamps 2>/dev/null | wc -l)" -ge 6 ] && break
    sleep 0.2
done
"$TOLMSTAT" all nblade --json >"$W/daemon.json" || fail "all from the daemon"
kill -USR1 "$DPID"
for _ in $(seq 1 50); do [ "$(ls "$W/dump/tolmstats" 2>/dev/null | wc -l)" -ge 6 ] && break; sleep 0.2; done
sleep 1
# Frozen from here on: the trees no longer change under the readers. A clean
# stop finishes the snapshot being persisted; a stopped or killed daemon may
# leave its newest snapshot half written, which the readers would rightly skip.
kill -TERM "$DPID"
wait "$DPID" || fail "the daemon's clean stop"
DPID=

A=("$TOLMSTAT" --archive)
"${A[@]}" all nblade --json >"$W/archive.json" 2>"$W/archive.err" || fail "all from the volume: $(cat "$W/archive.err")"
"$TOLMSTAT" --archive --node "$NODE" --dblade localhost:7700 --vfsid 100 all nblade --json \
    >"$W/standalone.json" || fail "all from the volume, stand-alone"
"$TOLMSTAT" --dir "$W/dump" all nblade --json >"$W/dir.json" 2>"$W/dir.err" || fail "all from the dump tree: $(cat "$W/dir.err")"
[ -s "$W/archive.err" ] && fail "warnings from a sound volume: $(cat "$W/archive.err")"
[ -s "$W/dir.err" ] && fail "warnings from a sound dump tree: $(cat "$W/dir.err")"
cmp -s "$W/archive.json" "$W/standalone.json" || fail "the two ways into the volume differ"

# Every snapshot of the volume and of the dump tree is the daemon's, record
# for record; each tree snapshot's time is its record's created stamp.
python3 - "$W" <<'PY' || fail "the sources disagree"
import json, sys
w = sys.argv[1]
load = lambda n: json.load(open(f"{w}/{n}.json"))
daemon = {e["record"]["created"]: e for e in load("daemon")}
ok = True
for name in ("archive", "dir"):
    entries = load(name)
    if len(entries) < 5:
        print(f"{name}: only {len(entries)} snapshots"); ok = False
    for e in entries:
        if e["timestamp"] != e["record"]["created"]:
            print(f"{name}: snapshot time {e['timestamp']} is not its created stamp"); ok = False
        d = daemon.get(e["record"]["created"])
        if d is not None and d["record"] != e["record"]:
            print(f"{name}: the record created at {e['timestamp']} differs from the daemon's"); ok = False
    common = sum(1 for e in entries if e["record"]["created"] in daemon)
    if common < 4:
        print(f"{name}: only {common} snapshots in common with the daemon"); ok = False
sys.exit(0 if ok else 1)
PY

# A window by offset and by stamp; csv values and rates; a rate.
n=$("${A[@]}" timestamps | wc -l)
last=$("${A[@]}" timestamps | tail -1 | cut -d' ' -f1)
second=$("${A[@]}" timestamps | sed -n 2p | cut -d' ' -f1)
lastStamp=$("${A[@]}" timestamps | tail -1 | cut -d' ' -f2)
got=$("${A[@]}" all mgmtproc --json --from "$second" --to "$lastStamp" |
    python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')
[ "$got" = $((n - 1)) ] || fail "window from the second to the last stamp: $got of $((n - 1))"
got=$("${A[@]}" all mgmtproc --json --from -0s | python3 -c 'import json,sys; d=json.load(sys.stdin); print(len(d), d[0]["timestamp"])')
[ "$got" = "1 $last" ] || fail "window of -0s: $got"
"${A[@]}" csv nblade cifs.TolmGetAttr cifs.TolmRead >"$W/values.csv" || fail "csv values"
"${A[@]}" csv nblade cifs.TolmGetAttr --rate >"$W/rates.csv" || fail "csv rates"
[ "$(head -1 "$W/values.csv")" = "timestamp,cifs.TolmGetAttr,cifs.TolmRead" ] ||
    fail "csv header: $(head -1 "$W/values.csv")"
[ "$(($(wc -l <"$W/values.csv") - 1))" = "$n" ] || fail "csv rows: $(wc -l <"$W/values.csv") for $n snapshots"
[ "$(($(wc -l <"$W/rates.csv") - 1))" = "$((n - 1))" ] || fail "csv rate rows"
# Each rate is the change of the values over the time between the rows.
python3 - "$W" <<'PY' || fail "csv rates against the values"
import csv, sys
w = sys.argv[1]
v = list(csv.reader(open(f"{w}/values.csv")))[1:]
r = list(csv.reader(open(f"{w}/rates.csv")))[1:]
for (t0, a0, _), (t1, a1, _), (tr, rate) in zip(v, v[1:], r):
    assert tr == t1, (tr, t1)
    want = (int(a1) - int(a0)) / (int(t1) - int(t0))
    if int(a1) >= int(a0):
        assert abs(float(rate) - want) < 0.001, (rate, want)
    else:
        assert rate == "", rate
PY
"${A[@]}" rate nblade | head -1 | grep -q "^nblade: .* -> $last " || fail "rate over the volume"
"$TOLMSTAT" --dir "$W/dump" rate lp >/dev/null || fail "rate over the dump tree"

# What is not there.
"$TOLMSTAT" --archive --node nosuchnode timestamps >/dev/null 2>"$W/err"
[ $? = 3 ] && grep -q "nosuchnode" "$W/err" || fail "a missing host directory: $(cat "$W/err")"
"$TOLMSTAT" --dir "$W/nowhere" timestamps >/dev/null 2>&1
[ $? = 3 ] || fail "a missing dump tree"
"$TOLMSTAT" --dir "$W/dump" csv nblade cifs.NoSuch >/dev/null 2>"$W/err"
[ $? = 2 ] || fail "an unknown csv field: $(cat "$W/err")"
"$TOLMSTAT" --archive --dir "$W/dump" timestamps >/dev/null 2>&1
[ $? = 2 ] || fail "two sources at once"
"$TOLMSTAT" --dir "$W/dump" watch nblade cifs.TolmGetAttr >/dev/null 2>&1
[ $? = 2 ] || fail "watch over a dump tree"

# A damaged snapshot in the volume is skipped with one warning.
victim=$(ls "$W/vol/$NODE" | sort | sed -n 4p)
: >"$W/vol/$NODE/$victim/nblade"
"${A[@]}" csv nblade cifs.TolmGetAttr >"$W/after.csv" 2>"$W/err" || fail "csv with a damaged snapshot"
[ "$(wc -l <"$W/err")" = 1 ] && grep -q "skipping /$NODE/$victim/nblade: " "$W/err" ||
    fail "the damaged snapshot's warning: $(cat "$W/err")"
[ "$(wc -l <"$W/after.csv")" = "$(($(wc -l <"$W/values.csv") - 1))" ] || fail "rows with a damaged snapshot"

# The plot over the volume: a valid SVG with a line per field, broken where
# the damaged snapshot is.
"${A[@]}" plot nblade cifs.TolmGetAttr cifs.TolmRead --svg "$W/plot.svg" || fail "plot"
xmllint --noout "$W/plot.svg" || fail "the plot is no XML"
[ "$(grep -c '<path class="series"' "$W/plot.svg")" = 2 ] || fail "paths in the plot"
grep '<path class="series" data-field="cifs.TolmGetAttr"' "$W/plot.svg" | grep -q ' d="M[^M]* M' ||
    fail "no gap in the plot where the damaged snapshot is"
"${A[@]}" plot nblade cifs.TolmGetAttr >/dev/null 2>&1
[ $? = 2 ] || fail "plot without --svg"

# The daemon again, persisting XML now (zero statistics left out): the host
# directory holds both forms, and reads back the daemon's records.
TOLM_SIM_ROOT="$W/sim" LD_PRELOAD="$PRELOAD" "$DAEMON" --nodaemon --base 1 --dumpdir "$W/dump2" \
    --persistsamplerate 1 --persisttype xml --persistentries 100 >"$W/daemon2.log" 2>&1 &
DPID=$!
for _ in $(seq 1 150); do
    [ "$(ls "$W/vol/$NODE"/*/nblade.xml 2>/dev/null | wc -l)" -ge 3 ] && break
    sleep 0.2
done
"$TOLMSTAT" all nblade --json >"$W/daemon.json" || fail "all from the second daemon"
kill -TERM "$DPID"
wait "$DPID" || fail "the second daemon's clean stop"
DPID=
"${A[@]}" all nblade --json >"$W/archive.json" 2>"$W/err" || fail "all over both forms"
grep -v "skipping /$NODE/$victim/nblade: " "$W/err" | grep . && fail "warnings over both forms"
python3 - "$W" <<'PY' || fail "XML snapshots disagree with the daemon"
import json, sys
w = sys.argv[1]
daemon = {e["record"]["created"]: e["record"] for e in json.load(open(f"{w}/daemon.json"))}
archive = json.load(open(f"{w}/archive.json"))
common = [e for e in archive if e["record"]["created"] in daemon]
bad = [e["timestamp"] for e in common if e["record"] != daemon[e["record"]["created"]]]
print(f"{len(archive)} snapshots, {len(common)} of the second daemon's, {len(bad)} differ")
sys.exit(0 if len(common) >= 3 and not bad else 1)
PY

# tolmvol check over that host directory: the damaged snapshot, then one of
# each kind of damage more.
H=$W/vol/$NODE
"$TOLMVOL" check "/$NODE" >"$W/check.out"
rc=$?
[ "$rc" = 1 ] && [ "$(wc -l <"$W/check.out")" = 1 ] &&
    grep -q "^/$NODE/$victim: nblade: Read past EOF$" "$W/check.out" ||
    fail "check of one damaged snapshot (exit $rc): $(cat "$W/check.out")"
mapfile -t binaries < <(ls "$H" | sort | while read -r d; do [ -e "$H/$d/lp" ] && echo "$d"; done)
mapfile -t xmls < <(ls "$H" | sort | while read -r d; do [ -e "$H/$d/lp.xml" ] && echo "$d"; done)
rm "$H/${xmls[0]}/mgmtproc.xml"
head -c 300 "$H/${xmls[1]}/fcd.xml" >"$W/cut" && cp "$W/cut" "$H/${xmls[1]}/fcd.xml"
cp "$H/${binaries[0]}/fcd" "$H/${binaries[0]}/lp"
mkdir "$H/lost+found"
# A snapshot whose name is an hour off its records.
stamp=${binaries[1]}
earlier=$(date -d "${stamp:0:4}-${stamp:4:2}-${stamp:6:2} ${stamp:9:2}:${stamp:11:2}:${stamp:13:2} 1 hour ago" +%Y%m%d-%H%M%S)
mv "$H/$stamp" "$H/$earlier"
mkdir -p "$W/vol/othernode" && cp -r "$H/${binaries[2]}" "$W/vol/othernode/"
"$TOLMVOL" check >"$W/check.out"
rc=$?
[ "$rc" = 1 ] || fail "check of the whole volume: exit $rc"
[ "$(wc -l <"$W/check.out")" = 6 ] || fail "check lines: $(cat "$W/check.out")"
for want in "^/$NODE/${xmls[0]}: no mgmtproc record$" \
    "^/$NODE/${xmls[1]}: fcd.xml: not an XML record: " \
    "^/$NODE/${binaries[0]}: lp: holds a record of type 3$" \
    "^/$NODE/lost+found: not a snapshot directory's name$" \
    "^/$NODE/$earlier: nblade: created 36[0-9][0-9] s from the directory's name; dblade: created 36" \
    "^/$NODE/$victim: nblade: Read past EOF$"; do
    grep -q "$want" "$W/check.out" || fail "check did not say $want: $(cat "$W/check.out")"
done
grep -q othernode "$W/check.out" && fail "a sound host directory reported"
"$TOLMVOL" check /othernode >/dev/null || fail "check of a sound host directory"
"$TOLMVOL" check /nosuchnode >/dev/null 2>&1
[ $? = 2 ] || fail "check of a missing host directory"

if [ "$failures" -ne 0 ]; then echo "sources: $failures failures" >&2; exit 1; fi
echo "sources: all checks passed ($n persisted snapshots)"
