#!/bin/sh
# Checks Korvex as users get it: `make install` into a staging folder, the menu entry and the
# AppStream description as the desktop's own validators see them, the installed program started
# from there (headless, on a home of its own) finding its resources, and the Debian package's
# file list and dependencies.
#
#   tests/install/check_install.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
id=org.halvorn.korvex
stage=$(mktemp -d "${TMPDIR:-/tmp}/korvex-install-XXXXXX")
trap 'rm -rf "$stage"' EXIT INT TERM

fail() {
    echo "install check FAILED: $1" >&2
    exit 1
}

# The files a user gets, relative to the prefix /usr.
expected_files() {
    echo bin/korvex
    echo share/applications/$id.desktop
    echo share/metainfo/$id.metainfo.xml
    echo share/doc/korvex/copyright
    for size in 16 22 24 32 48 64 128 256; do
        echo share/icons/hicolor/${size}x$size/apps/$id.png
    done
}

DESTDIR=$stage/root cmake --install "$build" --prefix /usr >/dev/null
installed=$(cd "$stage/root/usr" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$(expected_files | sort)" ] ||
    fail "make install put other files than expected:
$installed"

desktop-file-validate "$stage/root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
# Pedantic: even the hints count, and the output says which.
report=$(appstreamcli validate --pedantic --no-net "$stage/root/usr/share/metainfo/$id.metainfo.xml") ||
    fail "appstreamcli validate: $report"
case $report in *"P: "* | *"I: "* | *"W: "* | *"E: "*) fail "appstreamcli validate --pedantic: $report" ;; esac
grep -q '^License: GPL-3.0-or-later$' "$stage/root/usr/share/doc/korvex/copyright" ||
    fail "the copyright file does not name the licence GPL-3.0-or-later"

# Started from the install folder with an empty home, Korvex makes its own machine from the seed
# it carries and keeps running until it is stopped.
home=$stage/home
mkdir -p "$home"
set +e
env -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    timeout 5 "$stage/root/usr/bin/korvex" >"$stage/korvex.log" 2>&1
status=$?
set -e
[ $status -eq 124 ] || { cat "$stage/korvex.log" >&2; fail "the installed korvex ended with status $status"; }
cmp -s "$home/.local/share/korvex/machine/system.reg" "$root/resources/seed/system.reg" ||
    fail "the installed korvex did not make its machine from its own seed"

# The package installs the same files under /usr and declares the libraries it links.
(cd "$build" && cpack -G DEB -B "$stage/package" >"$stage/cpack.log" 2>&1) || { cat "$stage/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$stage"/package/*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | sort)
[ "$packaged" = "$(expected_files | sort)" ] || fail "the package holds other files than expected:
$packaged"
[ "$(dpkg-deb -f "$deb" Package)" = korvex ] || fail "the package is not named korvex"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-translations-l10n; do
    echo "$depends" | grep -q "$library" || fail "the package does not depend on $library: $depends"
done
echo "install check passed: $(basename "$deb") depends on $depends"
