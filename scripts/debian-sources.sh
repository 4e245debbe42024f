# Sourced by windows-deps.sh and web-deps.sh, which build static libraries for another target
# from Debian's source packages. The caller sets `script` (its name, for messages), `deps` (the
# folder everything lands in), `prefix` (where the libraries are installed), `toolchain` (the
# CMake toolchain file) and `prefix_option` (the -D option that tells the toolchain the prefix).
# The sources come through apt-get with a sources list and state folders of their own, deb-src
# entries for the archive the machine already uses; the system's apt configuration is only read.

# Downloads the upstream tarball of each source package named into $deps/src.
download_sources() {
  mkdir -p "$deps/apt/sources.list.d" "$deps/apt/lists/partial" \
    "$deps/apt/cache/archives/partial" "$deps/src"
  # The machine's own Debian entries, as source entries.
  local found=0 source
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
  [ "$found" -eq 1 ] || { echo "$script: no Debian archive in the apt configuration" >&2; exit 1; }

  local apt_options=(-o Dir::Etc::SourceList=/dev/null
    -o "Dir::Etc::SourceParts=$deps/apt/sources.list.d" -o "Dir::State::Lists=$deps/apt/lists"
    -o "Dir::Cache=$deps/apt/cache" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" -qq update
  # The newest version the entries offer; where its files cannot be had (an archive that lists
  # the security updates' sources without serving them), the release's own. The release is read
  # from either form of entry (a fresh Debian 13 may have only sources.list).
  local release
  release=$({
    sed -n 's/^Suites: *\([^ ]*\).*/\1/p' "$deps"/apt/sources.list.d/*.sources
    awk '$1 == "deb-src" { print $3 }' "$deps"/apt/sources.list.d/*.list
  } 2>/dev/null | head -n 1 || true)
  # Only the upstream tarball is used: an archive that serves it but not the Debian packaging
  # files beside it (seen for Debian 13 here) fails apt-get, yet leaves what the build needs,
  # checked against the archive's index.
  local package
  for package in "$@"; do
    (cd "$deps/src" &&
      { apt-get "${apt_options[@]}" -qq source --download-only "$package" 2>/dev/null ||
        apt-get "${apt_options[@]}" -qq source --download-only "$package/${release:-stable}" ||
        true; })
    compgen -G "$deps/src/${package}_*.orig.tar.*" >/dev/null ||
      { echo "$script: the sources of $package could not be had" >&2; exit 1; }
  done
}

# The upstream sources of source package $2 alone, from its orig tarball, in $deps/src/$1.
unpack() {
  rm -rf "$deps/src/$1"
  mkdir -p "$deps/src/$1"
  tar -xf "$(ls "$deps"/src/"$2"_*.orig.tar.* | head -n 1)" -C "$deps/src/$1" --strip-components=1
}

# Runs a step with its output in LOG, shown only when the step fails.
logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "$script: failed, see $log" >&2; exit 1; }
}

# Configures the CMake project unpacked as $1 for the target, to install into the prefix.
configure() {
  local name=$1
  shift
  logged "$deps/build-$name.log" cmake -S "$deps/src/$name" -B "$deps/build/$name" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$prefix_option" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}
