#!/bin/sh
# Prepares the tests' Wine prefix (through the build's wine-run wrapper, which
# names it): every window opens inside one virtual desktop, so that nothing
# waits on a window manager.
set -e
run="$1"
"$run" wineboot --init
"$run" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
"$run" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
# A program that crashes ends at once instead of waiting in Wine's debugger.
"$run" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
