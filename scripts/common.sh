# Shared by scripts/run and scripts/test: installs what the build needs,
# configures and builds the MinGW-w64 cross build, and prepares the build
# tree's own Wine prefix.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/mingw"
export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Arguments name more packages that one script needs besides these.
install_packages() {
    local wanted=(cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xauth x11-apps imagemagick librsvg2-bin googletest libcli11-dev nlohmann-json3-dev "$@")
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
    install_wine32
}

# The 32-bit Wine beside the 64-bit one, for the 32-bit helper and the
# 32-bit view's tests. Only where the kernel runs 32-bit programs: elsewhere
# its loader cannot start, and Debian's wine command would pick it anyway, so
# it would stop every Wine program. There the 32-bit tests are skipped.
install_wine32() {
    # Never a reason to stop: without it the 32-bit cases are skipped.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386 && as_root apt-get update -qq ||
            { echo "The i386 architecture could not be added: no 32-bit Wine."; return 0; }
    fi
    if ! dpkg-query -W -f='${Status}' libc6:i386 2>/dev/null | grep -q "install ok installed"; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libc6:i386 >/dev/null ||
            { echo "libc6:i386 could not be installed: no 32-bit Wine."; return 0; }
    fi
    local installed=0
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" && installed=1
    if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
        if [ "$installed" = 0 ]; then
            echo "Installing: wine32:i386"
            as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 >/dev/null ||
                echo "wine32:i386 could not be installed: the 32-bit cases are skipped."
        fi
    else
        echo "This kernel does not run 32-bit programs: no 32-bit Wine, and the 32-bit tests are skipped."
        if [ "$installed" = 1 ]; then
            echo "Removing wine32:i386, which cannot start here and would stop the 64-bit Wine."
            as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq wine32:i386 >/dev/null || true
        fi
    fi
}

build() {
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$(nproc)"
}

# Creates the prefix once; later runs reuse it.
prepare_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Preparing the Wine prefix in $WINEPREFIX"
        timeout 300 wine wineboot --init >/dev/null 2>&1 || true
        timeout 120 wineserver -w || true
    fi
}

# The tests' prefix, prepared as the tests prepare it. Its server is stopped
# afterwards: one started without a display cannot open windows later.
prepare_test_prefix() {
    sh "$ROOT/cmake/prepare-wine-prefix.sh" "$BUILD/wine-run" >/dev/null 2>&1
    stop_prefix
}

stop_prefix() {
    wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}
