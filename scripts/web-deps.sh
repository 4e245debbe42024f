#!/usr/bin/env bash
# What the browser build needs beyond the machine's own packages: Debian's emscripten (installed
# when missing), and zlib and libpng built with it as static WebAssembly libraries from Debian's
# source packages, with freeglut's source package for the bitmap font's data. Usage:
# web-deps.sh BUILD_DIR
# As scripts/windows-deps.sh does for MinGW: the sources come through apt-get as
# debian-sources.sh fetches them, and everything lands in BUILD_DIR/deps (the prefix the
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
mkdir -p "$prefix/include" "$prefix/lib" "$prefix/share/freeglut"
script=web-deps
prefix_option=-DVIEWER_WEB_PREFIX=$prefix
source "$here/debian-sources.sh"
download_sources freeglut zlib libpng1.6

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
