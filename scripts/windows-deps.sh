#!/usr/bin/env bash
# Builds the libraries the Windows program links, as static MinGW-w64 libraries, from Debian's
# source packages: freeglut, zlib and libpng. Usage: windows-deps.sh BUILD_DIR
# The sources come through apt-get with a sources list and state folders of this script's own,
# deb-src entries for the archive the machine already uses; the system's apt configuration is
# only read. Everything lands in BUILD_DIR/deps: the downloads, the builds and the prefix
# (BUILD_DIR/deps/prefix) that the toolchain file searches. Done once: a later run finds the
# prefix complete and returns.
set -euo pipefail

build_dir=$(realpath -m "$1")
deps=$build_dir/deps
prefix=$deps/prefix
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/../cmake/x86_64-w64-mingw32.cmake
stamp=$prefix/.complete

[ -f "$stamp" ] && exit 0
mkdir -p "$deps/apt/sources.list.d" "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" \
  "$deps/src" "$prefix/include" "$prefix/lib"

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
[ "$found" -eq 1 ] || { echo "windows-deps: no Debian archive in the apt configuration" >&2; exit 1; }

apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$deps/apt/sources.list.d"
  -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache"
  -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" -qq update
cd "$deps/src"
# The newest version the entries offer; where its files cannot be had (an archive that lists the
# security updates' sources without serving them), the release's own.
# The release is read from either form of entry (a fresh Debian 13 may have only sources.list).
release=$({
  sed -n 's/^Suites: *\([^ ]*\).*/\1/p' "$deps"/apt/sources.list.d/*.sources
  awk '$1 == "deb-src" { print $3 }' "$deps"/apt/sources.list.d/*.list
} 2>/dev/null | head -n 1 || true)
# Only the upstream tarball is used: an archive that serves it but not the Debian packaging files
# beside it (seen for Debian 13 here) fails apt-get, yet leaves what the build needs, checked
# against the archive's index.
for package in freeglut zlib libpng1.6; do
  apt-get "${apt_options[@]}" -qq source --download-only "$package" 2>/dev/null ||
    apt-get "${apt_options[@]}" -qq source --download-only "$package/${release:-stable}" ||
    true
  compgen -G "$deps/src/${package}_*.orig.tar.*" >/dev/null ||
    { echo "windows-deps: the sources of $package could not be had" >&2; exit 1; }
done

# The upstream sources alone, from each package's orig tarball.
unpack() {
  rm -rf "$deps/src/$1"
  mkdir -p "$deps/src/$1"
  tar -xf "$(ls "$deps"/src/"$2"_*.orig.tar.* | head -n 1)" -C "$deps/src/$1" --strip-components=1
}

# Runs a step with its output in LOG, shown only when the step fails.
logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "windows-deps: failed, see $log" >&2; exit 1; }
}

configure() {
  local name=$1
  shift
  logged "$deps/build-$name.log" cmake -S "$deps/src/$name" -B "$deps/build/$name" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVIEWER_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

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
