#!/bin/sh
# Cross-builds the platform contract tests as a Windows program (windows/CMakeLists.txt, with
# MinGW-w64) and runs them under Wine, headless, in a Wine prefix made for this run and removed
# afterwards, so that the suites that pass against the machine folder also pass against Wine's
# own registry and system functions; then Tolvane for Windows 95/98/ME in the same prefix
# (tests/tolvane/tolvane9x_under_wine.sh).
#
#   tests/windows/run_under_wine.sh [BUILD_DIR] [-- GTEST_ARGUMENTS...]
#
# Skips (exit 0) when Wine, the cross compiler or GoogleTest's sources are missing; exits
# non-zero when the build or a test fails.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-windows
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    build=$1
    shift
fi
[ "${1:-}" = "--" ] && shift

skip() {
    echo "Windows contract tests skipped: $1"
    exit 0
}
# The 64-bit loader by name: with wine32 installed, a plain `wine` starts the 32-bit one, which a
# kernel without 32-bit support cannot run.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || skip "64-bit Wine is not installed (Debian: wine wine64)"
command -v wineserver >/dev/null 2>&1 || skip "wineserver is not installed"
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 ||
    skip "the MinGW-w64 cross compiler for i386 is not installed (Debian: g++-mingw-w64-i686)"
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 ||
    skip "the MinGW-w64 cross compiler is not installed (Debian: g++-mingw-w64-x86-64)"
[ -f /usr/src/googletest/googletest/CMakeLists.txt ] || skip "GoogleTest's sources are not installed (Debian: googletest)"

# Tolvane for Windows 95/98/ME is an i386 program: it runs only where the 32-bit loader starts.
# Otherwise its test says why and skips that run.
if [ ! -x /usr/lib/wine/wine ]; then
    export KORVEX_NO_WINE32="32-bit Wine is not installed (Debian: wine32:i386)"
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export KORVEX_NO_WINE32="the 32-bit Wine loader does not start: this kernel runs no 32-bit programs"
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine-XXXXXX") || exit 1
export WINEPREFIX="$prefix" WINEDEBUG=-all
# Wine run by root writes read-only files (the tests expect that difference then).
[ "$(id -u)" = 0 ] && export KORVEX_WINE_AS_ROOT=1
# No Mono or Gecko installers, no menu entries or file associations on the host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
boot=
cleanup() {
    [ -n "$boot" ] && wait "$boot" 2>/dev/null
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The prefix is made while the program builds.
"$wine64" wineboot --init </dev/null >/dev/null 2>&1 &
boot=$!

cmake -S "$root/windows" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || {
    cat "$build/build.log"
    echo "Windows contract tests: the cross build failed"
    exit 1
}
wait "$boot" || {
    echo "Windows contract tests: wineboot could not make a prefix in $prefix"
    exit 1
}
boot=

# Every Windows test program in turn; all must pass.
result=0
for program in platform_contract_tests; do
    log=$build/$program.log
    "$wine64" "$build/$program.exe" --gtest_color=no "$@" </dev/null 2>&1 | tee "$log" |
        grep -Ev '^\[ +(RUN|OK) +\]|^it looks like wine32 is missing|^multiarch needs|^execute "dpkg|^apt-get install wine32'
    status=$(grep -c '^\[  PASSED  \]' "$log")
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log")
    failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log")
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log")
    grep -q '^\[==========\] .* ran\.' "$log" || echo "Wine: $program ended before its summary (it crashed?)"
    echo "Wine, $program: ${passed:-0} passed, ${failed:-0} failed, ${skipped:-0} skipped"
    [ "$status" -eq 1 ] && [ "${failed:-0}" -eq 0 ] && grep -q '^\[==========\] .* ran\.' "$log" || result=1
done
"$root/tests/tolvane/tolvane9x_under_wine.sh" "$build" || result=1
exit $result
