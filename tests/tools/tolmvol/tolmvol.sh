#!/bin/bash
# tolmvol end to end against tolmnodesim: every command, its messages and exit
# statuses, and a record file persisted by hand decoded through a pipe.
# Usage: tolmvol.sh BUILD_DIR
set -u
BUILD=$1
TOLMDECODE=$BUILD/tools/tolmdecode/tolmdecode
SAMPLES=$BUILD/sim/samples/tolmsamplerecords
NAME=tolmvol
. "$(dirname "$0")/lib.sh"

expect() {  # expect STATUS "DESCRIPTION" COMMAND...: runs it, output in $W/out and $W/err
    local want=$1 what=$2
    shift 2
    "$@" > "$W/out" 2> "$W/err"
    local got=$?
    [ "$got" = "$want" ] || fail "$what: exit $got, expected $want ($(head -c 300 "$W/err"))"
}

mkdir -p "$W/vol" "$W/samples"
start_sim || { echo "tolmnodesim did not start" >&2; exit 1; }

head -c 30000 /dev/urandom > "$W/data"
expect 0 "mkdir" "$VOL" mkdir /node1
[ -d "$W/vol/node1" ] || fail "mkdir made no directory in the volume"
expect 0 "put" "$VOL" put "$W/data" /node1/blob
cmp -s "$W/data" "$W/vol/node1/blob" || fail "put: the volume's file differs"
expect 0 "cat" "$VOL" cat /node1/blob
cmp -s "$W/data" "$W/out" || fail "cat: not the bytes put"
expect 0 "get" "$VOL" get /node1/blob "$W/copy"
cmp -s "$W/data" "$W/copy" || fail "get: not the bytes put"
# A shorter file put over it leaves nothing of the old one.
echo short > "$W/short"
expect 0 "put over" "$VOL" put "$W/short" /node1/blob
cmp -s "$W/short" "$W/vol/node1/blob" || fail "put over a longer file kept old bytes"

expect 0 "ls" "$VOL" ls /node1
grep -Eq '^- 0644 +6 .* blob$' "$W/out" || fail "ls: $(cat "$W/out")"
expect 0 "stat" "$VOL" stat /node1/blob
grep -q '^size: 6$' "$W/out" && grep -q '^type: -$' "$W/out" || fail "stat: $(cat "$W/out")"
expect 0 "tree" "$VOL" tree
[ "$(cat "$W/out")" = "$(printf '/\n/node1/\n/node1/blob')" ] || fail "tree: $(cat "$W/out")"

# A record file stored by hand, decoded from the volume through a pipe.
"$SAMPLES" "$W/samples" > /dev/null
expect 0 "put a record" "$VOL" put "$W/samples/nblade" /node1/nblade
"$VOL" cat /node1/nblade | "$TOLMDECODE" - > "$W/piped" 2> "$W/piped.err" || fail "tolmdecode -: $(cat "$W/piped.err")"
"$TOLMDECODE" "$W/samples/nblade" > "$W/direct"
cmp -s "$W/piped" "$W/direct" || fail "the record decoded through the pipe differs"
[ -s "$W/direct" ] || fail "nothing decoded"

# Failures: the path, the status's text and the status.
expect 1 "rm of a missing file" "$VOL" rm /node1/missing
[ "$(cat "$W/err")" = "tolmvol: /node1/missing: TolmFs Error : Object Not Found (0x2000102)" ] ||
    fail "rm message: $(cat "$W/err")"
expect 1 "rmdir of a full directory" "$VOL" rmdir /node1
[ "$(cat "$W/err")" = "tolmvol: /node1: TolmFs Error : Directory Not empty (0x200010d)" ] ||
    fail "rmdir message: $(cat "$W/err")"
expect 1 "cat of a directory" "$VOL" cat /node1
expect 1 "an unknown VFS" "$VOL" --vfs nothere ls /
[ "$(cat "$W/err")" = "tolmvol: nothere: Vldb Error : VfsName Does not Exist (0x3000066)" ] ||
    fail "unknown VFS message: $(cat "$W/err")"
expect 2 "no command" "$VOL"
grep -q "^usage: tolmvol" "$W/err" || fail "usage not printed"
expect 2 "too many arguments" "$VOL" ls / /x
expect 2 "--dblade without --vfsid" "$VOL" --dblade localhost:7700 ls /

# Stand-alone, straight to the D-blade.
expect 0 "stand-alone ls" "$VOL" --dblade localhost:7700 --vfsid 100 ls /
grep -q ' node1$' "$W/out" || fail "stand-alone ls: $(cat "$W/out")"

expect 0 "rm" "$VOL" rm /node1/nblade
[ -e "$W/vol/node1/nblade" ] && fail "rm left the file"
expect 0 "rmdir -r" "$VOL" rmdir -r /node1
[ -e "$W/vol/node1" ] && fail "rmdir -r left the directory"
expect 0 "empty tree" "$VOL" tree /
[ "$(cat "$W/out")" = "/" ] || fail "tree after removal: $(cat "$W/out")"

finish
