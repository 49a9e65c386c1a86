#!/bin/bash
# tolmvol ls and rmdir -r against tolmnodesim in the directory read layouts
# its D-blade offers (segment header, the count's unit, segments a reply,
# where the end flag goes): directories of 1, 63, 64, 150 and 1000 names,
# short and of three entries each, list every name once and in order, and
# are emptied and removed. Usage: layouts.sh BUILD_DIR
set -u
BUILD=$1
NAME=layouts
. "$(dirname "$0")/lib.sh"

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
    start_sim $layout || { fail "$what: tolmnodesim did not start"; break; }
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
    stop_sim
done

finish "${#layouts[@]} layouts"
