#!/bin/sh
# Makes a fresh Wine prefix in $1 with `wineboot --init` and waits for its server to write the
# registry and end. Leaves no prefix (only a note) where Wine is not installed.
# The 64-bit loader by name: with wine32 installed a plain `wine` starts the 32-bit one, which a
# kernel without 32-bit support cannot run.
set -u
dir=$1
wine64=/usr/lib/wine/wine64
if [ ! -x "$wine64" ]; then
    echo "64-bit Wine is not installed: the interop tests will be skipped."
    rm -rf "$dir"
    exit 0
fi
if [ -f "$dir/system.reg" ] && [ -f "$dir/.korvex-complete" ]; then
    echo "Reusing the Wine prefix in $dir"
    exit 0
fi
rm -rf "$dir"
export WINEPREFIX="$dir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine64" wineboot --init >/dev/null 2>&1
wineserver -w
test -f "$dir/system.reg" || { echo "wineboot made no registry in $dir"; exit 1; }
touch "$dir/.korvex-complete"
echo "Made a Wine prefix in $dir"
