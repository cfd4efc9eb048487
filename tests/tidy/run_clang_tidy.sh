#!/bin/sh
# Runs clang-tidy (.clang-tidy at the top of the tree) over every C++ source of the build in $1,
# $2 files at a time. A source that passed before with the same text, headers, build flags,
# configuration and clang-tidy is not checked again. Fails when any source fails.
#
#   tests/tidy/run_clang_tidy.sh build 2
set -eu
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
build=$(cd "$1" && pwd)
cd "$(dirname "$self")/../.."
jobs=${2:-$(nproc)}
db=$build/compile_commands.json
passed=$build/tidy-passed

# One source: $3 is what every source's result depends on besides its own text.
if [ "${3:-}" ]; then
    stamp=$passed/$( { echo "$3"; cat "$4"; } | sha1sum | cut -c1-40)
    [ -e "$stamp" ] && exit 0
    if out=$(clang-tidy -p "$build" --quiet "$4" 2>&1); then
        touch "$stamp"
    else
        printf '%s\n' "$out" | grep -v -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed ' >&2
        exit 1
    fi
    exit 0
fi

test -f "$db" || { echo "$db is missing: configure the build first" >&2; exit 1; }
mkdir -p "$passed"
common=$( { clang-tidy --version; cat "$db"; git ls-files -z '*.h' '*.clang-tidy' | xargs -0 cat; } | sha1sum | cut -c1-40)
# Our own sources that this build compiles (not the generated ones, not those for Windows only).
git ls-files '*.cpp' | while read -r file; do
    grep -qF "\"file\": \"$PWD/$file\"" "$db" && echo "$file"
done | xargs -P "$jobs" -I{} "$self" "$build" "$jobs" "$common" {}
