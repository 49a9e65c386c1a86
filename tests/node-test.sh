# Sourced by the shell tests that run the daemon against the simulated node
# inside the private namespace of tests/netns-run (own network, rpcbind, /run):
#   . tests/node-test.sh NAME BUILD_DIR
# gives the programs' paths, fail() counting into $failures, and a lock
# directory of the test's own; outside a namespace it skips the test, or
# fails it under CI.
TEST_NAME=$1
BUILD=$2
DAEMON=$BUILD/collect/tolmstatsd/tolmstatsd
SIM=$BUILD/sim/tolmnodesim/tolmnodesim
PRELOAD=$(ls "$BUILD"/sim/preload/*.so | head -1)
TOLMSTAT=$BUILD/tools/tolmstat/tolmstat
TOLMDECODE=$BUILD/tools/tolmdecode/tolmdecode
TOLMVOL=$BUILD/tools/tolmvol/tolmvol
EXPORTER=$BUILD/tools/tolmstat_exporter/tolmstat_exporter

# A sanitizer build reports leaks at exit; the project's suppressions name the
# few that are libtirpc's own. The preload library comes before the runtime.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lsan.supp}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0"

if [ -z "${TOLM_NETNS_ACTIVE:-}" ]; then
    if [ -n "${CI:-}" ]; then echo "$TEST_NAME: no private namespace under CI" >&2; exit 1; fi
    echo "$TEST_NAME: no private namespace; skipped"; exit 0
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# /var/lock is often a link into /run, which the namespace has fresh;
# otherwise a tmpfs goes over it.
if [ -L /var/lock ]; then mkdir -p "$(readlink -f /var/lock)"; else mount -t tmpfs tmpfs /var/lock; fi
mkdir -p /var/lock/subsys
