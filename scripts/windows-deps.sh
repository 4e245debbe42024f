#!/usr/bin/env bash
# Builds the libraries the Windows program links, as static MinGW-w64 libraries, from Debian's
# source packages: freeglut, zlib and libpng. Usage: windows-deps.sh BUILD_DIR
# The sources come through apt-get as debian-sources.sh fetches them. Everything lands in
# BUILD_DIR/deps: the downloads, the builds and the prefix (BUILD_DIR/deps/prefix) that the
# toolchain file searches. Done once: a later run finds the prefix complete and returns.
set -euo pipefail

build_dir=$(realpath -m "$1")
deps=$build_dir/deps
prefix=$deps/prefix
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/../cmake/x86_64-w64-mingw32.cmake
stamp=$prefix/.complete

[ -f "$stamp" ] && exit 0
mkdir -p "$prefix/include" "$prefix/lib"
script=windows-deps
prefix_option=-DVIEWER_WINDOWS_PREFIX=$prefix
source "$here/debian-sources.sh"
download_sources freeglut zlib libpng1.6

# GL/glut.h as well as freeglut.h: the program includes the former on every platform.
unpack freeglut freeglut
configure freeglut -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON -DFREEGLUT_REPLACE_GLUT=ON \
  -DFREEGLUT_BUILD_DEMOS=OFF
logged "$deps/build-freeglut.log" cmake --build "$deps/build/freeglut" -j 2
logged "$deps/build-freeglut.log" cmake --install "$deps/build/freeglut"

# zlib's CMake makes the DLL too; only its static library is taken, under the name libz.a that
# CMake's FindZLIB looks for first.
unpack zlib zlib
configure zlib
logged "$deps/build-zlib.log" cmake --build "$deps/build/zlib" -j 2 --target zlibstatic
cp "$deps/src/zlib/zlib.h" "$deps/build/zlib/zconf.h" "$prefix/include/"
cp "$deps/build/zlib/libzlibstatic.a" "$prefix/lib/libz.a"

unpack libpng libpng1.6
configure libpng -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON
logged "$deps/build-libpng.log" cmake --build "$deps/build/libpng" -j 2
logged "$deps/build-libpng.log" cmake --install "$deps/build/libpng"

touch "$stamp"
