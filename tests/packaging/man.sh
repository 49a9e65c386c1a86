#!/bin/bash
# man.sh BUILD: the man pages built from their scdoc sources pass
# mandoc -Tlint without a message, and each program's page names every option
# its usage lists.
set -u
BUILD=$1
MAN=$BUILD/packaging/man
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! command -v mandoc >/dev/null 2>&1; then
    if [ -n "${CI:-}" ]; then
        echo "FAIL: mandoc is missing (package mandoc)"
        exit 1
    fi
    echo "mandoc is missing (package mandoc): skipped"
    exit 0
fi

for page in tolmstatsd.8 tolmstat.1 tolmdecode.1 tolmvol.1 tolmnodesim.1 tolmstat_exporter.1; do
    [ -s "$MAN/$page" ] || { fail "$page not built"; continue; }
    out=$(mandoc -Tlint "$MAN/$page" 2>&1)
    [ -z "$out" ] || fail "$page: mandoc -Tlint says:
$out"
done

# program page: every --option of the usage appears in the page's text.
options_covered() {
    local prog=$1 page=$2 text opt missing=
    text=$(mandoc -Tascii "$MAN/$page" | col -b)
    for opt in $("$prog" --help 2>&1 | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        grep -q -- "$opt" <<<"$text" || missing="$missing $opt"
    done
    [ -z "$missing" ] || fail "$page does not mention:$missing"
}
options_covered "$BUILD/collect/tolmstatsd/tolmstatsd" tolmstatsd.8
options_covered "$BUILD/tools/tolmstat/tolmstat" tolmstat.1
options_covered "$BUILD/tools/tolmdecode/tolmdecode" tolmdecode.1
options_covered "$BUILD/tools/tolmvol/tolmvol" tolmvol.1
options_covered "$BUILD/sim/tolmnodesim/tolmnodesim" tolmnodesim.1
options_covered "$BUILD/tools/tolmstat_exporter/tolmstat_exporter" tolmstat_exporter.1

# The date of a page is the build's, the title upper case, the section right.
head -20 "$MAN/tolmstatsd.8" | grep -q '^\.TH "TOLMSTATSD" "8"' || fail "tolmstatsd.8 title line"

[ "$failures" = 0 ] || { echo "man.sh: $failures failures"; exit 1; }
echo "man.sh: all checks passed"
