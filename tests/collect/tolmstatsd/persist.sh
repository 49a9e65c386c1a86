#!/bin/bash
# Persistence end to end: the daemon writes snapshots into the statistics
# volume of tolmnodesim (VLDB, DLDB and D-blade file service over Rf) and
# prunes it; the files are checked in the volume's backing directory. The
# daemon collects without the node's files (zeros), which is all persistence
# needs. Runs inside tests/netns-run. Usage: persist.sh BUILD_DIR
set -u
BUILD=$1
DAEMON=$BUILD/collect/tolmstatsd/tolmstatsd
SIM=$BUILD/sim/tolmnodesim/tolmnodesim
TOLMSTAT=$BUILD/tools/tolmstat/tolmstat
TOLMDECODE=$BUILD/tools/tolmdecode/tolmdecode
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(readlink -f "$0")")/../../lsan.supp}"

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "persist: no private namespace under CI" >&2; exit 1; fi
    echo "persist: no private namespace; skipped"; exit 0
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

W=$(mktemp -d /tmp/tolmpersist.XXXXXX)
if [ -L /var/lock ]; then mkdir -p "$(readlink -f /var/lock)"; else mount -t tmpfs tmpfs /var/lock; fi
mkdir -p /var/lock/subsys
cleanup() {
    [ -n "${DPID:-}" ] && kill -9 "$DPID" 2>/dev/null
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$W"
}
trap cleanup EXIT
HOST=$(hostname)
stamps() { ls "$1" 2>/dev/null | grep -E '^[0-9]{8}-[0-9]{6}$'; }

# start_sim NAME [OPTIONS...]: a node whose volume is $W/NAME/vol.
start_sim() {
    local name=$1
    shift
    mkdir -p "$W/$name/vol" "$W/$name/dump"
    "$SIM" --root "$W/$name/node" --volume "$W/$name/vol" --no-mgmt --no-stream "$@" \
        2> "$W/$name/sim.err" &
    SPID=$!
    for _ in $(seq 100); do grep -q "serving under" "$W/$name/sim.err" && break; sleep 0.1; done
    grep -q "serving under" "$W/$name/sim.err" || fail "$name: tolmnodesim did not start"
}
# run_daemon NAME SECONDS [OPTIONS...]: the daemon for a while, a dump, a stop.
run_daemon() {
    local name=$1 seconds=$2
    shift 2
    "$DAEMON" --nodaemon --base 1 --persistsamplerate 1 --dumpdir "$W/$name/dump" --debug "$@" \
        > "$W/$name/out" 2> "$W/$name/err" &
    DPID=$!
    sleep "$seconds"
    "$TOLMSTAT" timestamps > "$W/$name/timestamps" 2>&1 || fail "$name: no query answer"
    kill -USR1 "$DPID"
    sleep 1
    kill -TERM "$DPID"
    local rc=0
    wait "$DPID" || rc=$?
    DPID=
    [ "$rc" = 0 ] || fail "$name: daemon exit status $rc"
    kill "$SPID"
    wait "$SPID" 2>/dev/null
    SPID=
}

# Binary, three kept; foreign names in the host directory are never touched.
start_sim binary
H=$W/binary/vol/$HOST
mkdir -p "$H/20200101-000001" "$H/abcdefghijklmno" "$H/x20200101-00000" "$H/notes"
run_daemon binary 6 --persistentries 3 --persisttype binary
[ "$(stamps "$H" | wc -l)" = 3 ] || fail "binary: $(stamps "$H" | wc -l) timestamp directories, expected 3"
[ -d "$H/20200101-000001" ] && fail "binary: the oldest timestamp directory was not pruned"
for keep in abcdefghijklmno x20200101-00000 notes; do
    [ -d "$H/$keep" ] || fail "binary: $keep was removed"
done
for stamp in $(stamps "$H"); do
    for f in nblade dblade lp fcd mgmtproc; do
        [ -s "$H/$stamp/$f" ] || fail "binary: $stamp/$f missing"
        "$TOLMDECODE" "$H/$stamp/$f" > /dev/null 2>&1 || fail "binary: $stamp/$f does not decode"
    done
    # The same snapshot's signal dump holds the same bytes (snapshots
    # persisted after the dump are not in it).
    for d in "$W"/binary/dump/tolmstats/*/nblade; do
        cmp -s "$d" "$H/$stamp/nblade" && matched=$((${matched:-0} + 1))
    done
done
[ "${matched:-0}" -ge 2 ] || fail "binary: ${matched:-0} persisted nblade files match a dumped one"
grep -q "pruning 1 snapshots" "$W/binary/err" || fail "binary: no pruning logged"
grep -q "Failed" "$W/binary/err" && fail "binary: failures logged: $(grep Failed "$W/binary/err" | head -3)"

# A host directory of 300 timestamp directories (each with a record file), on
# a D-blade that lays out its directory segments otherwise (wide headers,
# counts in segments, three segments a reply, the end flag with the last
# one): pruned down to 200, the oldest going first.
start_sim many --fs-seg-header wide --fs-readdir-count segments --fs-readdir-per-reply 3 --fs-eof-with-data
H=$W/many/vol/$HOST
for i in $(seq 0 299); do
    d=$H/$(printf '20200101-%06d' "$i")
    mkdir -p "$d" && echo x > "$d/nblade"
done
run_daemon many 4 --persistentries 200 --persisttype binary
[ "$(stamps "$H" | wc -l)" = 200 ] || fail "many: $(stamps "$H" | wc -l) timestamp directories, expected 200"
[ -d "$H/20200101-000000" ] && fail "many: the oldest timestamp directory was kept"
new=$(stamps "$H" | grep -vc '^20200101-')
[ -d "$H/$(printf '20200101-%06d' $((300 - 200 + new)))" ] ||
    fail "many: the newest of the old directories that should stay is gone ($new new)"
grep -q "Failed" "$W/many/err" && fail "many: failures logged: $(grep Failed "$W/many/err" | head -3)"

# A faulty D-blade. A timestamp directory that lists itself: it is emptied
# without being entered again, its pruning is logged as failed with one line
# naming where the walk stopped, the others are pruned and persistence goes
# on. A host directory whose reads never end: the
# pruning's failure is logged and the snapshots are still written.
start_sim loop --fs-self-listing 20200101-000001
H=$W/loop/vol/$HOST
mkdir -p "$H/20200101-000001" "$H/20200101-000002"
echo x > "$H/20200101-000001/nblade"
run_daemon loop 4 --persistentries 2 --persisttype binary
[ -d "$H/20200101-000002" ] && fail "loop: 20200101-000002 was not pruned"
[ "$(stamps "$H" | grep -vc '^2020')" -ge 1 ] || fail "loop: nothing persisted"
[ -e "$H/20200101-000001/nblade" ] && fail "loop: the files of the self-listing directory stayed"
grep -q "Failed to prune 20200101-000001: TolmFsLib Internal Error : Dblade Returned Invalid Data (16777238), not entering 20200101-000001/itself" "$W/loop/err" ||
    fail "loop: the failed pruning was not logged: $(grep -i prune "$W/loop/err" | head -3)"

start_sim endless --fs-endless-dir "$HOST"
H=$W/endless/vol/$HOST
run_daemon endless 4 --persistentries 3 --persisttype binary
grep -q "Failed to list host directory $HOST for pruning: TolmFsLib Internal Error : Dblade Returned Invalid Data (16777238)" "$W/endless/err" ||
    fail "endless: the failed listing was not logged"
[ "$(stamps "$H" | wc -l)" -ge 2 ] || fail "endless: only $(stamps "$H" | wc -l) snapshots persisted"

# A volume that fills up (its D-blade's directory a 24 KiB tmpfs): a record
# file whose write fails is removed from the volume and named in the log; no
# file is left cut short.
mkdir -p "$W/volfull/vol"
mount -t tmpfs -o size=24k tmpfs "$W/volfull/vol"
start_sim volfull
H=$W/volfull/vol/$HOST
run_daemon volfull 4 --persistentries 10 --persisttype binary
for stamp in $(stamps "$H"); do
    for f in nblade dblade lp fcd mgmtproc; do
        [ -e "$H/$stamp/$f" ] || continue
        "$TOLMDECODE" "$H/$stamp/$f" > /dev/null 2>&1 || fail "volfull: $stamp/$f is cut short"
    done
done
grep -q "Removed /$HOST/[0-9-]*/[a-z]* from the volume: its write failed" "$W/volfull/err" ||
    fail "volfull: no failed write removed: $(grep -m3 Failed "$W/volfull/err")"
umount "$W/volfull/vol"

# A VLDB whose first answer is replies of another xid, for ever: the lookup
# ends with a logged failure within its 25 seconds, and the next persistence
# succeeds.
start_sim stale --vldb-stale-xid 1
H=$W/stale/vol/$HOST
run_daemon stale 30 --persistentries 3 --persisttype binary
grep -q "Failed to lookup tolm.stats_: unknown Error (5)" "$W/stale/err" ||
    fail "stale: the timed-out lookup was not logged"
[ "$(stamps "$H" | wc -l)" -ge 1 ] || fail "stale: nothing persisted after the VLDB was well again"

# Signal dumps onto a full file system (a 16 KiB tmpfs), binary and XML:
# every file left is whole, every one that did not fit is gone and named in
# the log with the system's reason.
for type in binary xml; do
    start_sim "full$type"
    mount -t tmpfs -o size=16k tmpfs "$W/full$type/dump"
    run_daemon "full$type" 4 --persistentries 3 --persisttype binary --dumptype $type
    T=$W/full$type/dump/tolmstats
    [ -d "$T" ] || fail "full$type: no dump tree"
    logged=0
    for stamp in $(stamps "$T"); do
        for f in nblade dblade lp fcd mgmtproc; do
            file=$T/$stamp/$f
            [ "$type" = xml ] && file=$file.xml
            if [ -e "$file" ]; then
                if [ "$type" = xml ]; then
                    xmllint --noout "$file" 2>/dev/null || fail "full$type: $file is not whole"
                else
                    "$TOLMDECODE" "$file" > /dev/null 2>&1 || fail "full$type: $file is not whole"
                fi
            else
                grep -qF "Failed to write dump file '$file': No space left on device (28)" "$W/full$type/err" ||
                    grep -qF "Failed to create dump file '$file': No space left on device (28)" "$W/full$type/err" ||
                    fail "full$type: $file missing without a logged reason"
                logged=$((logged + 1))
            fi
        done
    done
    [ "$logged" -ge 1 ] || fail "full$type: everything fitted into 16 KiB"
    umount "$W/full$type/dump"
done

# XML, nothing pruned (-1); every file is a well-formed document.
start_sim xml
H=$W/xml/vol/$HOST
mkdir -p "$H/20200101-000001"
run_daemon xml 4 --persistentries -1 --persisttype xml
[ -d "$H/20200101-000001" ] || fail "xml: pruned with -1"
[ "$(stamps "$H" | wc -l)" -ge 3 ] || fail "xml: only $(stamps "$H" | wc -l) timestamp directories"
for stamp in $(stamps "$H" | grep -v '^2020'); do
    for f in nblade dblade lp fcd mgmtproc; do
        head -c 5 "$H/$stamp/$f.xml" | grep -q '^<?xml' || fail "xml: $stamp/$f.xml has no header"
        xmllint --noout "$H/$stamp/$f.xml" 2>/dev/null || fail "xml: $stamp/$f.xml is not well formed"
    done
done

# One kept: every older one goes before the new one is made.
start_sim one
H=$W/one/vol/$HOST
run_daemon one 4 --persistentries 1 --persisttype binary
[ "$(stamps "$H" | wc -l)" = 1 ] || fail "one: $(stamps "$H" | wc -l) timestamp directories, expected 1"

# The statistics VFS appears later: persistence starts without a restart.
start_sim late --stats-vfs-after 3
H=$W/late/vol/$HOST
run_daemon late 6 --persistentries 10 --persisttype binary
grep -q "stats vfs tolm.stats_ does not exist" "$W/late/err" || fail "late: the missing VFS was not logged"
[ "$(stamps "$H" | wc -l)" -ge 1 ] || fail "late: nothing persisted once the VFS existed"

# A D-blade that is always busy, or that loses 30% of its datagrams:
# collection, dumps and queries go on; a file is whole or its failure logged.
start_sim busy --fs-busy 1000000
run_daemon busy 4 --persistentries 3 --persisttype binary
[ "$(wc -l < "$W/busy/timestamps")" -ge 3 ] || fail "busy: the history did not grow"
[ -n "$(ls "$W"/busy/dump/tolmstats 2>/dev/null)" ] || fail "busy: no signal dump"
grep -q "Failed to get root: TolmFs Error : VFS Busy" "$W/busy/err" || fail "busy: the failure was not logged"

# A host name longer than the volume takes (names one byte shorter than it):
# logged at every persistence.
if [ ${#HOST} -ge 2 ]; then
    start_sim shortnames --fs-max-name $((${#HOST} - 1))
    run_daemon shortnames 4 --persistentries 3 --persisttype binary
    [ "$(grep -c "Failed to get host directory $HOST: TolmFs Error : Invalid Value (33554692)" "$W/shortnames/err")" -ge 2 ] ||
        fail "shortnames: the host directory failure was not logged at each persistence"
    [ "$(wc -l < "$W/shortnames/timestamps")" -ge 3 ] || fail "shortnames: the history did not grow"
fi

# No D-blade at all: the persistence waits on its calls, the rest goes on and
# the stop does not wait for it.
start_sim absent --no-dblade-fs
run_daemon absent 4 --persistentries 3 --persisttype binary
[ "$(wc -l < "$W/absent/timestamps")" -ge 3 ] || fail "absent: the history did not grow"
[ -n "$(ls "$W"/absent/dump/tolmstats 2>/dev/null)" ] || fail "absent: no signal dump"

start_sim lossy --fs-drop 30
H=$W/lossy/vol/$HOST
run_daemon lossy 8 --persistentries 10 --persisttype binary
[ "$(wc -l < "$W/lossy/timestamps")" -ge 6 ] || fail "lossy: the history did not grow"
[ -n "$(ls "$W"/lossy/dump/tolmstats 2>/dev/null)" ] || fail "lossy: no signal dump"
for stamp in $(stamps "$H"); do
    for f in nblade dblade lp fcd mgmtproc; do
        [ -e "$H/$stamp/$f" ] || continue
        if ! "$TOLMDECODE" "$H/$stamp/$f" > /dev/null 2>&1; then
            # A write that failed, or a persistence that the stop abandoned.
            grep -q "Failed to write ${f/mgmtproc/mgmt} stats" "$W/lossy/err" ||
                grep -q "persistence into /$HOST/$stamp abandoned at stop" "$W/lossy/err" ||
                fail "lossy: $stamp/$f is cut short without a logged error"
        fi
    done
done

if [ "$failures" -ne 0 ]; then
    echo "persist: $failures failures" >&2
    exit 1
fi
echo "persist: all checks passed"
