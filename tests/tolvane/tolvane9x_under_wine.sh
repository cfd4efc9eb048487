#!/bin/sh
# Tolvane for Windows 95/98/ME under Wine, started as Windows starts it: beside its Tolvane.ini and
# a recording subst.exe (WinExec looks in the program's own folder first), told by the prefix that
# it runs on Windows 98. run_under_wine.sh runs it in its prefix (WINEPREFIX) with the Windows
# build folder as $1. The i386 build needs 32-bit Wine; where that cannot run (KORVEX_NO_WINE32
# says why), its runs are skipped and the same source built for x86-64 runs in their place.
set -u
build=$1
wine64=/usr/lib/wine/wine64
passed=0 failed=0 skipped=0

# check BUILD CASE LIST EXPECTED [hidden]: LIST is the list file's text (no file when empty),
# EXPECTED the command lines Tolvane must start, in that order, one a line; both read as by
# printf %b. Tolvane must also end with exit code 0.
check() {
    folder=$WINEPREFIX/drive_c/$2-${1%.exe}
    rm -rf "$folder" && mkdir -p "$folder" || exit 1
    cp "$build/tolvane9x/$1" "$folder/Tolvane.exe" && cp "$build/fake-subst/subst.exe" "$folder/subst.exe" ||
        exit 1
    [ -n "$3" ] && printf '%b' "$3" >"$folder/Tolvane.ini"
    [ "${5:-}" = hidden ] && "$wine64" attrib +h "C:\\$2-${1%.exe}\\Tolvane.ini" >/dev/null 2>&1
    (cd "$folder" && "$wine64" Tolvane.exe </dev/null >/dev/null 2>&1)
    code=$?
    wineserver -w # the subst processes Tolvane started, too
    # The recorders name their files by the moment each started.
    started=$(for record in "$folder"/subst-*.log; do [ -f "$record" ] && cat "$record" && echo; done)
    expected=$(printf '%b' "$4")
    if [ "$code" = 0 ] && [ "$started" = "$expected" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAILED: Tolvane %s, %s: exit code %s; started:\n%s\nexpected:\n%s\n' "$1" "$2" "$code" "$started" \
            "$expected"
    fi
}

builds="tolvane9x.exe tolvane9x_x64.exe"
if [ -n "${KORVEX_NO_WINE32:-}" ]; then
    echo "Tolvane for Windows 95/98/ME, i386: not run, 32-bit Wine cannot run here ($KORVEX_NO_WINE32)."
    builds=tolvane9x_x64.exe
    skipped=3
fi
"$wine64" reg add 'HKCU\Software\Wine\AppDefaults\Tolvane.exe' /v Version /d win98 /f >/dev/null 2>&1
for program in $builds; do
    # A comma inside a folder, LF and CR LF endings, a last line without an end; lines that hold
    # no entry: short, drive only, subst switches in either field, a relative folder, a quote.
    check "$program" list 'E:C:\\GAMES\r\nF:D:\\My Work,2\nx\r\n\r\nG:\r\nE:/D\r\n/DE:\r\nH:GAMES\r\nJ:C:\\a" /D\r\nI:\\\\server\\share\\games' \
        'subst E: "C:\\GAMES"\nsubst F: "D:\\My Work,2"\nsubst I: "\\\\server\\share\\games"'
    check "$program" no-list '' ''
    check "$program" hidden-list 'E:C:\\GAMES\r\n' '' hidden
done
echo "Wine, Tolvane for Windows 95/98/ME: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
