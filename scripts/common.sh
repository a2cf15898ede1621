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

# The packages named that are not installed, on one line.
missing_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    echo "${missing[*]}"
}

# Arguments name more packages that one script needs besides these.
install_packages() {
    local wanted=(cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools nsis wine wine64 xvfb xauth x11-apps imagemagick librsvg2-bin googletest libcli11-dev nlohmann-json3-dev "$@")
    local missing=()
    read -r -a missing <<<"$(missing_packages "${wanted[@]}")"
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
    install_wine32
}

# The 32-bit Wine beside the 64-bit one, for the 32-bit helper and the
# 32-bit view's tests, with what scripts/lane32 needs to start it: nothing
# where the kernel runs 32-bit programs, else qemu-i386 (from backports on
# bookworm, whose own qemu takes most of a minute to start each process).
# Where neither works the 32-bit Wine is left out, since Debian's wine
# command would pick it anyway and stop every Wine program; the 32-bit
# cases are then skipped. Never a reason to stop a run.
install_wine32() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386 && as_root apt-get update -qq ||
            { echo "The i386 architecture could not be added: no 32-bit Wine."; return 0; }
    fi
    local wanted=(libc6:i386)
    "$ROOT/scripts/lane32" --kind | grep -qx native || install_qemu_i386 || true
    local kind
    kind="$("$ROOT/scripts/lane32" --kind)"
    [ "$kind" != none ] && wanted+=(wine32:i386)
    local missing=()
    read -r -a missing <<<"$(missing_packages "${wanted[@]}")"
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null ||
            echo "${missing[*]} could not be installed: the 32-bit cases are skipped."
    fi
    kind="$("$ROOT/scripts/lane32" --kind)"
    if [ "$kind" = none ]; then
        echo "This machine runs no 32-bit programs, natively or through qemu-i386: the 32-bit cases are skipped."
        if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
            echo "Removing wine32:i386, which cannot start here and would stop the 64-bit Wine."
            as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq wine32:i386 >/dev/null || true
        fi
    fi
}

# qemu-user 10 or later, for the 32-bit lane on a kernel without 32-bit code.
install_qemu_i386() {
    local have
    have="$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)"
    have="${have#*:}"
    [ -n "$have" ] && [ "${have%%.*}" -ge 10 ] && return 0
    local codename suite=()
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    if [ "$codename" = bookworm ]; then
        if ! apt-cache policy 2>/dev/null | grep -q "bookworm-backports"; then
            # The backports suite from the same mirror as the system's own.
            local uri
            uri="$( (grep -rhE '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null || true) |
                   grep -oE 'https?://[^ ]+/debian/?' | grep -v security | head -n 1 || true)"
            [ -n "$uri" ] || uri=http://deb.debian.org/debian
            printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
                "$uri" /usr/share/keyrings/debian-archive-keyring.gpg |
                as_root tee /etc/apt/sources.list.d/addinreg-backports.sources >/dev/null
            as_root apt-get update -qq
        fi
        suite=(-t bookworm-backports)
    fi
    echo "Installing: qemu-user ${suite[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${suite[@]}" qemu-user >/dev/null
}

build() {
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$(nproc)"
}

# Creates the prefix once; later runs reuse it.
prepare_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Preparing the Wine prefix in $WINEPREFIX"
        timeout 300 "$ROOT/scripts/lane32" sh -c 'wine wineboot --init; wineserver -w' >/dev/null 2>&1 || true
    fi
}

# The tests' prefix, prepared as the tests prepare it. Its server is stopped
# afterwards: one started without a display cannot open windows later.
prepare_test_prefix() {
    "$ROOT/scripts/lane32" sh "$ROOT/cmake/prepare-wine-prefix.sh" "$BUILD/wine-run" >/dev/null 2>&1
    stop_prefix
}

stop_prefix() {
    wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}
