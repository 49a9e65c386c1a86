# Shared helpers of the project's scripts; sourced, not run.

# tolm_need_packages PKG...: installs the Debian packages that are missing.
tolm_need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}" >&2
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

TOLM_PACKAGES=(cmake g++ make pkg-config libtirpc-dev rpcsvc-proto libgtest-dev libgmock-dev
    libbenchmark-dev libxml2-utils libxml2-dev python3 rpcbind util-linux
    scdoc mandoc prometheus systemd libmicrohttpd-dev libyaml-cpp-dev libcrypt-dev zlib1g-dev
    curl openssl iproute2)
# What the demo and scripts/try need: building and running the programs only.
TOLM_RUN_PACKAGES=(cmake g++ make pkg-config libtirpc-dev libxml2-dev rpcsvc-proto rpcbind util-linux
    libmicrohttpd-dev libyaml-cpp-dev libcrypt-dev zlib1g-dev curl iproute2)
# The programs the demo and scripts/try run.
TOLM_RUN_TARGETS=(tolmstatsd tolmnodesim tolmsimpreload tolmstat tolmvol tolmdecode tolmstat_exporter)

# tolm_build DIR [cmake options...]: configures and builds the project into DIR.
tolm_build() {
    local dir=$1
    shift
    cmake -S "$TOLM_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# tolm_build_programs DIR: configures DIR and builds only the programs the
# demo and scripts/try run, printing the build's own progress lines.
tolm_build_programs() {
    local dir=$1
    echo "== configuring $dir (cmake)"
    cmake -S "$TOLM_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLM_BENCH=OFF -DTOLM_TESTS=OFF >/dev/null
    echo "== building ${TOLM_RUN_TARGETS[*]} (the first build takes a minute or two)"
    # make's "[ 42%] Building ..." lines as they come; a failure shows its errors.
    local log rc
    log=$(mktemp)
    set +e
    cmake --build "$dir" -j"$(nproc)" --target "${TOLM_RUN_TARGETS[@]}" 2>&1 | tee "$log" |
        grep --line-buffered -E '^\[ *[0-9]+%\] (Building|Linking|Generating|Running)' | sed -u 's/^/   /'
    rc=${PIPESTATUS[0]}
    set -e
    if [ "$rc" != 0 ]; then
        grep -v '^\[ *[0-9]*%\]' "$log" | tail -n 40 >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
    echo "== built"
}

# tolm_start_node WORK BUILD [tolmstatsd options...]: inside a private
# namespace, starts tolmnodesim (its files under WORK/sim, its statistics
# volume in WORK/vol) and tolmstatsd against it with the preload library that
# redirects the node's files, with a lock directory of the namespace's own.
# Sets SPID and DPID; the daemon's output goes to WORK/tolmstatsd.log.
tolm_start_node() {
    local work=$1 build=$2
    shift 2
    # /var/lock is usually a link into /run, which the namespace has fresh;
    # otherwise a tmpfs goes over it.
    if [ -L /var/lock ]; then
        mkdir -p "$(readlink -f /var/lock)"
    else
        mount -t tmpfs tmpfs /var/lock
    fi
    mkdir -p /var/lock/subsys "$work/dump"
    "$build/sim/tolmnodesim/tolmnodesim" --root "$work/sim" --volume "$work/vol" >"$work/sim.log" 2>&1 &
    SPID=$!
    local _
    for _ in $(seq 1 100); do grep -q "serving under" "$work/sim.log" && break; sleep 0.1; done
    local preload
    preload=$(ls "$build"/sim/preload/*.so | head -1)
    TOLM_SIM_ROOT="$work/sim" LD_PRELOAD="$preload" "$build/collect/tolmstatsd/tolmstatsd" \
        --nodaemon --dumpdir "$work/dump" "$@" >"$work/tolmstatsd.log" 2>&1 &
    DPID=$!
}
