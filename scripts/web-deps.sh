#!/usr/bin/env bash
# What the browser build needs beyond the machine's own packages: Debian's emscripten (installed
# when missing), and zlib and libpng built with it as static WebAssembly libraries from Debian's
# source packages, with freeglut's source package for the bitmap font's data. Usage:
# web-deps.sh BUILD_DIR
# As scripts/windows-deps.sh does for MinGW: the sources come through apt-get with a sources list
# and state folders of this script's own, and everything lands in BUILD_DIR/deps (the prefix the
# toolchain file searches is BUILD_DIR/deps/prefix). Done once: a later run finds the prefix
# complete and returns.
set -euo pipefail

build_dir=$(realpath -m "$1")
deps=$build_dir/deps
prefix=$deps/prefix
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/../cmake/emscripten.cmake
stamp=$prefix/.complete

if ! command -v emcc >/dev/null; then
  echo "Installing: emscripten"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  # Without --no-install-recommends it brings much of a desktop.
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 emscripten
fi

[ -f "$stamp" ] && exit 0
mkdir -p "$deps/apt/sources.list.d" "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" \
  "$deps/src" "$prefix/include" "$prefix/lib" "$prefix/share/freeglut"

# The machine's own Debian entries, as source entries.
found=0
for source in /etc/apt/sources.list.d/*.sources; do
  [ -f "$source" ] || continue
  grep -q 'debian' "$source" || continue
  sed 's/^Types:.*/Types: deb-src/' "$source" >"$deps/apt/sources.list.d/$(basename "$source")"
  found=1
done
if [ -f /etc/apt/sources.list ]; then
  grep -E '^deb +[^ ]*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
    >"$deps/apt/sources.list.d/debian.list" || true
  [ -s "$deps/apt/sources.list.d/debian.list" ] && found=1
fi
[ "$found" -eq 1 ] || { echo "web-deps: no Debian archive in the apt configuration" >&2; exit 1; }

apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$deps/apt/sources.list.d"
  -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache"
  -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" -qq update
cd "$deps/src"
# The newest version the entries offer, else the release's own; only the upstream tarball is
# used (see windows-deps.sh for why apt-get may fail and still leave it).
release=$({
  sed -n 's/^Suites: *\([^ ]*\).*/\1/p' "$deps"/apt/sources.list.d/*.sources
  awk '$1 == "deb-src" { print $3 }' "$deps"/apt/sources.list.d/*.list
} 2>/dev/null | head -n 1 || true)
for package in freeglut zlib libpng1.6; do
  apt-get "${apt_options[@]}" -qq source --download-only "$package" 2>/dev/null ||
    apt-get "${apt_options[@]}" -qq source --download-only "$package/${release:-stable}" ||
    true
  compgen -G "$deps/src/${package}_*.orig.tar.*" >/dev/null ||
    { echo "web-deps: the sources of $package could not be had" >&2; exit 1; }
done

unpack() {
  rm -rf "$deps/src/$1"
  mkdir -p "$deps/src/$1"
  tar -xf "$(ls "$deps"/src/"$2"_*.orig.tar.* | head -n 1)" -C "$deps/src/$1" --strip-components=1
}

logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "web-deps: failed, see $log" >&2; exit 1; }
}

configure() {
  local name=$1
  shift
  logged "$deps/build-$name.log" cmake -S "$deps/src/$name" -B "$deps/build/$name" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVIEWER_WEB_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

# Only the font data of freeglut is used, with its licence notice (the file's own head).
unpack freeglut freeglut
cp "$deps/src/freeglut/src/fg_font_data.c" "$prefix/share/freeglut/"

# zlib's CMake rules want the Windows resource Debian's tarball leaves out; its library is its C
# files (all but the gz* file functions, which libpng does not use) and one header made from a
# template, compiled here directly.
unpack zlib zlib
mkdir -p "$deps/build/zlib"
cp "$deps/src/zlib/zconf.h.in" "$deps/build/zlib/zconf.h"
(
  cd "$deps/build/zlib"
  for source in adler32 compress crc32 deflate infback inffast \
    inflate inftrees trees uncompr zutil; do
    logged "$deps/build-zlib.log" env NODE_PATH=/usr/share/nodejs emcc -O2 -I. \
      -c "$deps/src/zlib/$source.c" -o "$source.o"
  done
  logged "$deps/build-zlib.log" emar rcs "$prefix/lib/libz.a" ./*.o
)
cp "$deps/src/zlib/zlib.h" "$deps/build/zlib/zconf.h" "$prefix/include/"

unpack libpng libpng1.6
configure libpng -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON -DPNG_HARDWARE_OPTIMIZATIONS=OFF
logged "$deps/build-libpng.log" cmake --build "$deps/build/libpng" -j 2
logged "$deps/build-libpng.log" cmake --install "$deps/build/libpng"

touch "$stamp"
