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
    libbenchmark-dev libxml2-utils python3 rpcbind util-linux)

# tolm_build DIR [cmake options...]: configures and builds the project into DIR.
tolm_build() {
    local dir=$1
    shift
    cmake -S "$TOLM_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}
