#!/bin/sh
# Builds the installers of the installer test, on this side of Wine: for each
# case, AddInRegCli (under Wine, through the build's wine-run) captures the
# sample add-in as an NSIS include, then makensis builds the installer around
# it. The 32-bit cases are left out where the 32-bit capture cannot run (no
# 32-bit Wine); the test skips them there, and fails without them elsewhere.
#   build-installers.sh WINE_RUN MAKENSIS BUILD_DIR INSTALLER_SCRIPT
set -e
run="$1"; makensis="$2"; build="$3"; script="$4"
out="$build/installers"
rm -rf "$out"
mkdir -p "$out"
cd "$build"

# build_case NAME DLL CONTEXT FOLDER TARGET [CAPTURE OPTION...]
build_case() {
    name="$1"; dll="$2"; context="$3"; folder="$4"; target="$5"
    shift 5
    "$run" AddInRegCli.exe capture "$dll" --format nsis --out "installers\\$name.nsh" "$@" || return 1
    "$makensis" -V2 -DFRAGMENT="$out/$name.nsh" -DDLL="$build/$dll" -DADDIN="${dll%.dll}" -DCONTEXT="$context" \
        -DFOLDER="$folder" -DTARGET="$target" -DOUTFILE="$out/$name.exe" "$script"
}

# The usual installer is 32-bit, and writes the 64-bit view by SetRegView 64;
# the per-user one is built 64-bit.
build_case machine64 AddInRegSample.dll all '$PROGRAMFILES64' x86-unicode
build_case user64 AddInRegSample.dll current '$LOCALAPPDATA' amd64-unicode --per-user
build_case machine32 DoctorX86.dll all '$PROGRAMFILES32' x86-unicode || echo "the 32-bit cases are left out: $?"
build_case user32 DoctorX86.dll current '$LOCALAPPDATA' x86-unicode --per-user || echo "the 32-bit cases are left out: $?"
