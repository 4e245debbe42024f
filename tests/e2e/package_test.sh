#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root (the machine's own package
# database is not touched), checks what it installs and what it depends on, and starts the
# installed binary in its own Xvfb through the end-to-end window checks.
# Usage: package_test.sh BUILD_DIR E2E_TESTS_BINARY
set -euo pipefail

build_dir=$1
e2e_tests=$2
work=$(mktemp -d /tmp/viewer-package-XXXXXX)
trap 'rm -rf "$work"' EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

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
check "desktop entry is valid" desktop-file-validate "$desktop"
check "desktop entry starts the installed binary" \
    test -x "$root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
check "README in /usr/share/doc/scalar-field-viewer" \
    test -f "$root/usr/share/doc/scalar-field-viewer/README.md"
for image in $(grep -o 'docs/[A-Za-z0-9_.-]*\.png' "$root/usr/share/doc/scalar-field-viewer/README.md" |
               sort -u); do
    check "README's picture $image is installed beside it" \
        test -f "$root/usr/share/doc/scalar-field-viewer/$image"
done

# The installed program, not the one in the build tree, opens its window.
check "installed binary opens its window" \
    env VIEWER_BINARY="$root/usr/bin/scalar-field-viewer" "$e2e_tests" \
    --gtest_filter='Window.TitlePositionAndSize:FirstFrame.BlackBackground'

echo "$failures failed"
[ "$failures" -eq 0 ]
