#!/usr/bin/env bash
# Cross-builds the Windows dependencies with the project's toolchain file:
# GoogleTest (from /usr/src/googletest), and libmpg123 and libsoxr (static,
# from Debian's own source packages). The result is cached, keyed on the
# source versions, the toolchain file and this script, so that a second run
# on the same machine builds nothing.
#   scripts/win32-deps.sh            prints the folder of the installed deps
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
toolchain=$root/cmake/i686-w64-mingw32.cmake
triple=i686-w64-mingw32
cache=${QUORVAN_WIN32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvan-win32}
jobs=${QUORVAN_JOBS:-2}
log() { echo "win32-deps: $*" >&2; }

# deb-src for the archive the machine already uses, so that the source
# packages come from where its binary packages do. The discovery lives in
# apt-sources.sh, outside the text hashed into the cache's key: a change to it
# does not rebuild the libraries.
# shellcheck source=scripts/apt-sources.sh
source "$root/scripts/apt-sources.sh"
ensure_deb_src() {
  apt_ensure_deb_src mpg123 || { log "no source packages: see the lines above"; exit 1; }
}

# The version apt would fetch of a source package.
source_version() {
  apt-cache showsrc "$1" | awk '/^Version:/ { print $2; exit }'
}

# Fetches the files of a source package that exist (the .dsc may list an
# upstream signature the archive lacks, which makes `apt-get source` fail),
# and unpacks them with dpkg-source without checking that signature.
fetch_source() {
  local pkg=$1 dest=$2 uri file
  mkdir -p "$dest/dl"
  while read -r uri file _; do
    uri=${uri//\'/}
    [ -f "$dest/dl/$file" ] && continue
    if ! /usr/lib/apt/apt-helper download-file "$uri" "$dest/dl/$file" >/dev/null 2>&1; then
      case $file in *.asc) log "skipping missing $file" ;; *) log "cannot fetch $file"; exit 1 ;; esac
    fi
  done < <(apt-get source --print-uris -qq "$pkg" | grep "^'")
  (cd "$dest" && dpkg-source --no-check -x dl/*.dsc src >/dev/null)
}

build_gtest() {
  local prefix=$1 work=$2
  cmake -S /usr/src/googletest -B "$work/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_GMOCK=ON >"$work/gtest.log" 2>&1 &&
  cmake --build "$work/gtest" -- -j"$jobs" >>"$work/gtest.log" 2>&1 &&
  cmake --install "$work/gtest" >>"$work/gtest.log" 2>&1 || { tail -30 "$work/gtest.log" >&2; exit 1; }
}

build_mpg123() {
  local prefix=$1 work=$2
  fetch_source mpg123 "$work/mpg123"
  # Its configure keeps its own optimisation flags and adds these: the
  # toolchain file's SSE2 floating point (the CMake builds get it from there).
  local flags
  flags=$(sed -n 's/^set(QUORVAN_WIN32_FLAGS "\(.*\)")$/\1/p' "$toolchain")
  (cd "$work/mpg123/src" &&
    CFLAGS="$flags" ./configure --host=$triple --prefix="$prefix" --enable-static --disable-shared \
      >"$work/mpg123.log" 2>&1 &&
    make -j"$jobs" >>"$work/mpg123.log" 2>&1 && make install >>"$work/mpg123.log" 2>&1) ||
    { tail -30 "$work/mpg123.log" >&2; exit 1; }
}

build_soxr() {
  local prefix=$1 work=$2
  fetch_source libsoxr "$work/soxr"
  cmake -S "$work/soxr/src" -B "$work/soxr/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DWITH_OPENMP=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_LSR_BINDINGS=OFF >"$work/soxr.log" 2>&1 &&
  cmake --build "$work/soxr/build" -- -j"$jobs" >>"$work/soxr.log" 2>&1 &&
  cmake --install "$work/soxr/build" >>"$work/soxr.log" 2>&1 || { tail -30 "$work/soxr.log" >&2; exit 1; }
  # libsoxr installs no soxr.pc on Windows: write the one the build looks for.
  mkdir -p "$prefix/lib/pkgconfig"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: soxr\nDescription: resampler\nVersion: %s\nLibs: -L${libdir} -lsoxr\nCflags: -I${includedir}\n' \
    "$prefix" "$(source_version libsoxr)" > "$prefix/lib/pkgconfig/soxr.pc"
}

ensure_deb_src
gtest_version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)
key=$( { echo "mpg123 $(source_version mpg123)"; echo "libsoxr $(source_version libsoxr)";
         echo "googletest $gtest_version"; $triple-g++-posix --version | head -1;
         cat "$toolchain" "${BASH_SOURCE[0]}"; } | sha256sum | cut -c1-16)
prefix=$cache/$key
if [ -f "$prefix/.complete" ]; then
  log "cached: $prefix"
  echo "$prefix"
  exit 0
fi

rm -rf "$prefix"
work=$(mktemp -d)
# An unfinished prefix is never left behind to be mistaken for a cache.
trap 'rm -rf "$work"; [ -f "$prefix/.complete" ] || rm -rf "$prefix"' EXIT
mkdir -p "$prefix"
SECONDS=0
build_gtest "$prefix" "$work";  log "GoogleTest built (${SECONDS}s)"
build_soxr "$prefix" "$work";   log "libsoxr $(source_version libsoxr) built (${SECONDS}s)"
build_mpg123 "$prefix" "$work"; log "libmpg123 $(source_version mpg123) built (${SECONDS}s)"
touch "$prefix/.complete"
echo "$prefix"
