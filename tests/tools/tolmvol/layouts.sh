#!/bin/bash
# tolmvol ls and rmdir -r against tolmnodesim in the directory read layouts
# its D-blade offers (segment header, the count's unit, segments a reply,
# where the end flag goes): directories of 1, 63, 64, 150 and 1000 names,
# short and of three entries each, list every name once and in order, and
# are emptied and removed. Usage: layouts.sh BUILD_DIR
set -u
BUILD=$1
SIM=$BUILD/sim/tolmnodesim/tolmnodesim
VOL=$BUILD/tools/tolmvol/tolmvol
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(readlink -f "$0")")/../../lsan.supp}"

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "layouts: no private namespace under CI" >&2; exit 1; fi
    echo "layouts: no private namespace; skipped"; exit 0
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
W=$(mktemp -d /tmp/tolmvol-layouts.XXXXXX)
cleanup() {
    [ -n "${SPID:-}" ] && kill "$SPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$W"
}
trap cleanup EXIT

# The names of a directory, in byte order.
names() {  # names COUNT short|long
    local i
    for ((i = 0; i < $1; i++)); do
        if [ "$2" = long ]; then printf '%04d-a-name-of-three-entries-%013d\n' "$i" "$i"; else printf '%04d-short\n' "$i"; fi
    done
}
for n in 1 63 64 150 1000; do
    for kind in short long; do names $n $kind > "$W/expect-$n-$kind"; done
done

# Each switch takes each of its values, and every count of segments a reply
# comes twice.
layouts=(
    ""
    "--fs-seg-header wide --fs-readdir-count segments --fs-readdir-per-reply 1 --fs-eof-with-data"
    "--fs-readdir-count segments --fs-readdir-per-reply 2"
    "--fs-seg-header wide --fs-readdir-per-reply 3 --fs-eof-with-data"
    "--fs-seg-header wide --fs-readdir-count bytes"
    "--fs-seg-header narrow --fs-readdir-count segments --fs-readdir-per-reply 3 --fs-eof-with-data"
    "--fs-seg-header wide --fs-readdir-count segments --fs-readdir-per-reply 2"
    "--fs-readdir-per-reply 1 --fs-eof-with-data"
)
for layout in "${layouts[@]}"; do
    what=${layout:-default layout}
    rm -rf "$W/vol" && mkdir -p "$W/vol"
    for n in 1 63 64 150 1000; do
        for kind in short long; do
            mkdir "$W/vol/d$n-$kind"
            (cd "$W/vol/d$n-$kind" && xargs touch < "$W/expect-$n-$kind")
        done
    done
    # shellcheck disable=SC2086
    "$SIM" --root "$W/node" --volume "$W/vol" --no-mgmt --no-stream $layout 2> "$W/sim.err" &
    SPID=$!
    for _ in $(seq 100); do grep -q "serving under" "$W/sim.err" && break; sleep 0.1; done
    grep -q "serving under" "$W/sim.err" || { fail "$what: tolmnodesim did not start"; cat "$W/sim.err" >&2; break; }
    for n in 1 63 64 150 1000; do
        for kind in short long; do
            d=d$n-$kind
            if ! "$VOL" ls "/$d" > "$W/out" 2> "$W/err"; then
                fail "$what: ls /$d: $(head -c 200 "$W/err")"
                continue
            fi
            awk '{print $NF}' "$W/out" | cmp -s - "$W/expect-$n-$kind" ||
                fail "$what: ls /$d gave $(wc -l < "$W/out") lines, not the $n names in order"
            "$VOL" rmdir -r "/$d" > /dev/null 2> "$W/err" || fail "$what: rmdir -r /$d: $(head -c 200 "$W/err")"
            [ -e "$W/vol/$d" ] && fail "$what: rmdir -r /$d left $(ls "$W/vol/$d" | wc -l) names"
        done
    done
    kill "$SPID"
    wait "$SPID" 2>/dev/null
    SPID=
done

if [ "$failures" -ne 0 ]; then
    echo "layouts: $failures failures" >&2
    exit 1
fi
echo "layouts: all checks passed (${#layouts[@]} layouts)"
