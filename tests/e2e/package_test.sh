#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root (the machine's own package
# database is not touched), checks what it installs and what it depends on, has Debian's and
# the desktop's checkers look at it, and starts the installed binary in its own Xvfb through the
# end-to-end window and command-line checks.
# Usage: package_test.sh BUILD_DIR E2E_TESTS_BINARY
set -euo pipefail

build_dir=$1
e2e_tests=$2
work=$(mktemp -d /tmp/viewer-package-XXXXXX)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/checks.sh"

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
debs=("$work"/out/*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { cat "$work/cpack.log"; echo "FAILED: no .deb was built"; exit 1; }
echo "package: $(basename "$deb")"

check "package name" test "$(dpkg-deb -f "$deb" Package)" = scalar-field-viewer
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "depends on freeglut" grep -q 'libglut' <<<"$depends"
check "depends on GLU" grep -q 'libglu1' <<<"$depends"
check "depends on Xlib" grep -q 'libx11-6' <<<"$depends"

# Every dependency names a real package: on this machine, which runs the viewer, one of each
# group's alternatives is installed.
installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}
satisfied() {
    local group=$1 alternative
    IFS='|' read -ra alternatives <<<"$group"
    for alternative in "${alternatives[@]}"; do
        alternative=${alternative%%(*}
        alternative=${alternative// /}
        installed "$alternative" && return 0
    done
    return 1
}
IFS=',' read -ra groups <<<"$depends"
for group in "${groups[@]}"; do
    check "dependency installed here: ${group# }" satisfied "$group"
done

root="$work/root"
dpkg -x "$deb" "$root"
check "binary in /usr/bin" test -x "$root/usr/bin/scalar-field-viewer"
desktop="$root/usr/share/applications/scalar-field-viewer.desktop"
check "desktop entry in /usr/share/applications" test -f "$desktop"
check "desktop entry is valid, without a hint" quiet desktop-file-validate "$desktop"
check "desktop entry starts the installed binary" \
    test -x "$root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
check "desktop entry names the window's class" \
    grep -qx 'StartupWMClass=Scalar-field-viewer' "$desktop"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 48 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png"
    check "icon \"$icon\" of $size by $size pixels" grep -q "PNG image data, $size x $size" \
        <<<"$(file "$png")"
done
check "README in /usr/share/doc/scalar-field-viewer" \
    test -f "$root/usr/share/doc/scalar-field-viewer/README.md"
for linked in $(grep -o 'docs/[A-Za-z0-9_.-]*\.\(png\|md\)' \
                     "$root/usr/share/doc/scalar-field-viewer/README.md" | sort -u); do
    check "README's $linked is installed beside it" \
        test -f "$root/usr/share/doc/scalar-field-viewer/$linked"
done

metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
check "AppStream metadata in /usr/share/metainfo" test -f "${metainfo[0]}"
# The tree, so that the launchable desktop entry is checked too.
check "AppStream metadata validates without a warning" appstreamcli validate-tree --no-net "$root"
check "manual page" zgrep -q 'Keys and mouse' "$root/usr/share/man/man1/scalar-field-viewer.1.gz"
check "copyright file names the MIT licence" \
    grep -qx 'License: MIT' "$root/usr/share/doc/scalar-field-viewer/copyright"

# Debian's checker: an error or warning fails (lintian's own status), and so does a binary built
# without the hardening flags (an info tag); every tag is printed.
lintian --pedantic -EI --tag-display-limit 0 --fail-on error,warning "$deb" >"$work/lintian.txt" \
    2>"$work/lintian.log" && lintian_status=0 || lintian_status=$?
cat "$work/lintian.txt"
[ "$lintian_status" -eq 0 ] || cat "$work/lintian.log"
check "lintian: no error or warning" test "$lintian_status" -eq 0
check "lintian: hardened binary" bash -c '! grep hardening-no- "$0"' "$work/lintian.txt"

# `cmake --install` puts the same files in place as the package.
DESTDIR="$work/installed" cmake --install "$build_dir" --prefix /usr >/dev/null
check "cmake --install installs the package's files" \
    diff <(cd "$root" && find . -type f | sort) <(cd "$work/installed" && find . -type f | sort)

# The installed program, not the one in the build tree, opens its window and answers --help.
check "installed binary opens its window" \
    env VIEWER_BINARY="$root/usr/bin/scalar-field-viewer" "$e2e_tests" \
    --gtest_filter='Window.TitleGeometryClassAndIcon:FirstFrame.BlackBackground:CommandLine.*'

echo "$failures failed"
[ "$failures" -eq 0 ]
