#!/usr/bin/env bash
# The Windows installer's silent round trip in the build's Wine prefix: what it installs, the
# installed program's window and first frame, and what its uninstaller leaves.
# Usage: installer_test.sh BUILD_DIR E2E_TESTS_BINARY VERSION WINE64
set -euo pipefail
build_dir=$1 e2e_tests=$2 version=$3 wine64=$4
export WINEPREFIX=$build_dir/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
source "$(dirname "$0")/checks.sh"

log=$(cmake --build "$build_dir" --target windows-installer 2>&1) || { echo "$log"; exit 1; }
windows_dir='C:\Program Files\Scalar Field Viewer'
dir="$WINEPREFIX/drive_c/Program Files/Scalar Field Viewer"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Scalar Field Viewer.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\scalar-field-viewer'
reg() { "$wine64" reg "$@" 2>/dev/null | tr -d '\r'; }
no_key() { ! "$wine64" reg query "$@" >/dev/null 2>&1; }
# The (un)installer's hidden windows start Wine's desktop without an X display, where a program
# started later in the same Wine session could open no window: wait until that session has ended.
session_ended() { "$(dirname "$wine64")/wineserver" -w; }

# A run stopped half-way may have left an installation behind: start without one.
rm -rf "$dir" "$shortcut"
reg delete "$key" /f >/dev/null || true

check "silent install" "$wine64" "$build_dir/scalar-field-viewer-$version-setup.exe" /S
for file in scalar-field-viewer.exe README.md LICENSE.txt how-to-run.txt uninstall.exe; do
    check "installed $file" test -s "$dir/$file"
done
# The shortcut's target (its ANSI path) and its icon (a UTF-16 string) are the installed program.
check "Start-menu shortcut: target and icon the installed program" \
    test "$({ strings -a "$shortcut"; strings -a -el "$shortcut"; } 2>/dev/null |
            grep -cF "$windows_dir\\scalar-field-viewer.exe")" -eq 2

entry=$(reg query "$key")
echo "$entry"
value() { sed -n "s/^ *$1 *REG_[A-Z]* *//p" <<<"$entry"; }
check "DisplayName" test "$(value DisplayName)" = "Scalar Field Viewer"
check "DisplayVersion" test "$(value DisplayVersion)" = "$version"
check "Publisher" test "$(value Publisher)" = "The scalar-field-viewer developers"
check "DisplayIcon" test "$(value DisplayIcon)" = "$windows_dir\\scalar-field-viewer.exe,0"
check "UninstallString" test "$(value UninstallString)" = "\"$windows_dir\\uninstall.exe\""
check "entry in the 64-bit registry view only" no_key "$key" /reg:32

session_ended
check "installed program opens its window and draws the first frame" \
    env VIEWER_LAUNCHER="$wine64" VIEWER_BINARY="$dir/scalar-field-viewer.exe" "$e2e_tests" \
    --gtest_filter='Window.TitleGeometryClassAndIcon:FirstFrame.SameAsLinuxBuild'

# The uninstaller copies itself elsewhere and returns at once, unless told with _?= where it was
# installed: then it runs in place, and Wine returns when it has finished (leaving it and its
# folder). NSIS reads that folder only unquoted, and Wine quotes an argument with spaces: so the
# folder goes as separate words.
read -ra in_place <<<"_?=$windows_dir"
uninstall=$(value UninstallString)
check "silent uninstall" "$wine64" "${uninstall//\"/}" /S "${in_place[@]}"
check "uninstall left only the running uninstaller" test "$(ls -A "$dir")" = uninstall.exe
check "uninstall removed the shortcut" test ! -e "$shortcut"
check "uninstall removed the Add/Remove Programs entry" no_key "$key"
rm -rf "$dir"
session_ended

echo "$failures failed"
[ "$failures" -eq 0 ]
