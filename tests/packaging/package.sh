#!/bin/bash
# package.sh BUILD UNIT: cpack -G DEB makes the package "tolmstatsd"; dpkg -x
# into a scratch root gives exactly the daemon, the three tools, their man
# pages and the systemd unit (never the simulated node); its programs answer
# --version; the unit passes systemd-analyze verify.
set -u
BUILD=$1
UNIT=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need() {  # need COMMAND PACKAGE: present, or skip (fail under CI)
    command -v "$1" >/dev/null 2>&1 && return 0
    if [ -n "${CI:-}" ]; then
        fail "$1 is missing (package $2)"
    else
        echo "$1 is missing (package $2): its checks skipped"
    fi
    return 1
}
WORK=$(mktemp -d /tmp/tolmpkg.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

grep -q '^ExecStart=/usr/sbin/tolmstatsd --nodaemon' "$UNIT" || fail "the unit does not run tolmstatsd --nodaemon"
grep -q '^Restart=on-failure' "$UNIT" || fail "the unit does not restart on failure"
EUNIT=$(dirname "$UNIT")/tolmstat_exporter.service
grep -q '^After=.*tolmstatsd.service' "$EUNIT" || fail "the exporter's unit does not start after the daemon's"
grep -q '^ExecStart=/usr/bin/tolmstat_exporter ' "$EUNIT" || fail "the exporter's unit runs no exporter"
grep -q 'systemctl kill -s USR1 tolmstatsd' "$UNIT" || fail "the unit does not tell how to ask for a dump"

need dpkg dpkg || exit 1
(cd "$BUILD" && cpack -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; fail "cpack failed"; exit 1; }
deb=$(ls "$WORK"/out/*.deb 2>/dev/null)
[ "$(echo "$deb" | wc -l)" = 1 ] && [ -n "$deb" ] || { fail "not one package: $deb"; exit 1; }
[ "$(basename "$deb")" = "tolmstatsd_1.0.0_$(dpkg --print-architecture).deb" ] || fail "package file name $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = tolmstatsd ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.0 ] || fail "package version"
dpkg-deb -f "$deb" Depends | grep -q rpcbind || fail "the package does not depend on rpcbind"

dpkg -x "$deb" "$WORK/root" || fail "dpkg -x"
(cd "$WORK/root" && find . -type f | sort) >"$WORK/files"
cat >"$WORK/expected" <<'LIST'
./usr/bin/tolmdecode
./usr/bin/tolmstat
./usr/bin/tolmstat_exporter
./usr/bin/tolmvol
./usr/lib/systemd/system/tolmstat_exporter.service
./usr/lib/systemd/system/tolmstatsd.service
./usr/sbin/tolmstatsd
./usr/share/man/man1/tolmdecode.1
./usr/share/man/man1/tolmstat.1
./usr/share/man/man1/tolmstat_exporter.1
./usr/share/man/man1/tolmvol.1
./usr/share/man/man8/tolmstatsd.8
LIST
if ! diff -u "$WORK/expected" "$WORK/files"; then
    fail "the package's files differ from the list above"
fi
for p in usr/sbin/tolmstatsd usr/bin/tolmstat usr/bin/tolmdecode usr/bin/tolmvol usr/bin/tolmstat_exporter; do
    name=$(basename "$p")
    [ -x "$WORK/root/$p" ] || { fail "$p not executable"; continue; }
    v=$("$WORK/root/$p" --version 2>&1)
    [ "$v" = "$name (tolmstatsd) 1.0.0" ] || fail "$p --version: $v"
done
cmp -s "$UNIT" "$WORK/root/usr/lib/systemd/system/tolmstatsd.service" || fail "the packaged unit differs"
cmp -s "$EUNIT" "$WORK/root/usr/lib/systemd/system/tolmstat_exporter.service" ||
    fail "the packaged exporter unit differs"

# The packaged unit, its program taken from the scratch root: systemd-analyze
# checks its settings, that the program is there, and (where man is
# installed) that the pages its Documentation= names are in the package.
if need systemd-analyze systemd; then
    sed "s|/usr/sbin/tolmstatsd|$WORK/root/usr/sbin/tolmstatsd|" \
        "$WORK/root/usr/lib/systemd/system/tolmstatsd.service" >"$WORK/tolmstatsd.service"
    man=--man=no
    command -v man >/dev/null 2>&1 && man=--man=yes
    sed "s|/usr/bin/tolmstat_exporter|$WORK/root/usr/bin/tolmstat_exporter|" \
        "$WORK/root/usr/lib/systemd/system/tolmstat_exporter.service" >"$WORK/tolmstat_exporter.service"
    out=$(MANPATH="$WORK/root/usr/share/man" systemd-analyze verify "$man" "$WORK/tolmstatsd.service" \
        "$WORK/tolmstat_exporter.service" 2>&1)
    [ -z "$out" ] || fail "systemd-analyze verify $man says:
$out"
fi

[ "$failures" = 0 ] || { echo "package.sh: $failures failures"; exit 1; }
echo "package.sh: all checks passed"
