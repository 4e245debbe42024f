#!/usr/bin/env bash
# Writes docs/first-frame.png, the README's picture, from the end-to-end first-frame checks:
# the frame is kept only when every one of them passed on it.
# Usage: scripts/update-screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shot=docs/first-frame.tmp.png
rm -f "$shot"
E2E_SAVE_FRAME=$PWD/$shot "$build_dir/tests/e2e/e2e_tests" --gtest_filter='FirstFrame.*'
[ -f "$shot" ] || { echo "no frame was saved" >&2; exit 1; }
mv "$shot" docs/first-frame.png
echo "wrote docs/first-frame.png"
