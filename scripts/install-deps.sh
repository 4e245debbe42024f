#!/usr/bin/env bash
# Installs the Debian packages the viewer, its tests and benchmarks need, when any is missing.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake make pkg-config
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri libx11-dev libxtst-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev
  xvfb xdotool x11-utils imagemagick xauth python3-meshio admesh util-linux
  dpkg-dev desktop-file-utils file lintian help2man appstream
  clang g++-aarch64-linux-gnu qemu-user
  g++-mingw-w64-x86-64-posix wine wine64 nsis zip
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
