#!/bin/sh
# Makes a fresh Wine prefix in $1 with `wineboot --init` and waits for its server to write the
# registry and end. Leaves no prefix (only a note) where Wine is not installed.
set -u
dir=$1
if ! command -v wine >/dev/null 2>&1; then
    echo "Wine is not installed: the interop tests will be skipped."
    rm -rf "$dir"
    exit 0
fi
if [ -f "$dir/system.reg" ] && [ -f "$dir/.korvex-complete" ]; then
    echo "Reusing the Wine prefix in $dir"
    exit 0
fi
rm -rf "$dir"
export WINEPREFIX="$dir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
wineserver -w
test -f "$dir/system.reg" || { echo "wineboot made no registry in $dir"; exit 1; }
touch "$dir/.korvex-complete"
echo "Made a Wine prefix in $dir"
