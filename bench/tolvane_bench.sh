#!/bin/sh
# Tolvane from start to exit as a whole process, mounting a list of 26 entries (22 free letters
# D: to Y: and 4 entries whose letters are taken) on a machine folder made for the run.
#
#   bench/tolvane_bench.sh BUILD_DIR [RUNS]
#
# Each run first removes the drives the previous run made, so every run mounts all 22; the same
# removal alone is timed too, to be subtracted. Prints the median wall time of each in ms.
set -eu
build=$1
runs=${2:-21}
machine=$(mktemp -d "${TMPDIR:-/tmp}/korvex-tolvane-bench-XXXXXX")
trap 'rm -rf "$machine"' EXIT

mkdir -p "$machine/dosdevices" "$machine/drive_c/windows/system32"
ln -s ../drive_c "$machine/dosdevices/c:"
ln -s / "$machine/dosdevices/z:"
for hive in system.reg user.reg userdef.reg; do
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n' >"$machine/$hive"
done
cp "$build/tolvane/tolvane" "$machine/drive_c/windows/system32/Tolvane.exe"
list="$machine/drive_c/windows/system32/Tolvane.ini"
: >"$list"
for letter in D E F G H I J K L M N O P Q R S T U V W X Y; do
    mkdir -p "$machine/drive_c/Folder $letter"
    printf '%s:C:\\Folder %s\r\n' "$letter" "$letter" >>"$list"
done
printf 'C:C:\\Folder D\r\nZ:C:\\Folder E\r\nE:C:\\Folder F\r\nF:C:\\Folder G\r\n' >>"$list"

reset="rm -f $machine/dosdevices/[d-y]:"
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
timed() {
    i=0
    while [ $i -lt "$runs" ]; do
        start=$(date +%s%N)
        sh -c "$1"
        end=$(date +%s%N)
        echo $(((end - start) / 1000))
        i=$((i + 1))
    done | median
}
tolvane=$(timed "$reset; exec '$machine/drive_c/windows/system32/Tolvane.exe'")
test -L "$machine/dosdevices/y:" || { echo "Tolvane mounted nothing"; exit 1; }
removal=$(timed "$reset")
echo "Tolvane, 26 entries, with the removal: median ${tolvane} us; the removal alone: median ${removal} us"
