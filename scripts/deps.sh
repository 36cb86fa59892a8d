# Sourced by the other scripts: installs what a fresh Debian 12 machine lacks.
VANTREL_PACKAGES=(cmake ninja-build ccache g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libgeographiclib-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libsqlite3-dev)

vantrel_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${VANTREL_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# vantrel_build <build dir> [extra cmake arguments...]
vantrel_build() {
    local dir=$1
    shift
    # ccache with paths taken relative to the tree, so that a rebuild or another
    # checkout of the same sources reuses what is already compiled.
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
    cmake --build "$dir" -j"$(nproc)"
}
