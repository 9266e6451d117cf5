#!/usr/bin/env bash
# Builds the Debian packages from the CMake install, for this machine's
# architecture, into BUILD_DIR/debs/:
#   quorvan         the command, the decoder modules (in the library's module
#                   folder, /usr/lib/<multiarch>/quorvan/) and the manual page
#   libquorvan1     libQuorvan.so.1 and the framework library libqvafx.so.1
#   libquorvan-dev  the headers, the link names, the CMake package, quorvan.pc
# The dependencies on the system's libraries (libmpg123-0, libsoxr0, libc6,
# libstdc++6, ...) come from dpkg-shlibdeps; quorvan and libquorvan-dev depend
# on the very libquorvan1 they were built with.
#   scripts/make-debs.sh [BUILD_DIR]   (default: build-deb/, configured for /usr here)
# QUORVAN_DEB_MAINTAINER sets the Maintainer field ("Name <address>").
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-deb}
log() { echo "make-debs: $*"; }

for tool in cmake ninja dpkg-deb dpkg-shlibdeps gzip; do
  command -v "$tool" >/dev/null || { log "$tool is missing (apt-get install cmake ninja-build dpkg-dev gzip)" >&2; exit 1; }
done

# /usr as the prefix: GNUInstallDirs then gives Debian's multiarch library folder.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUORVAN_BUILD_TESTS=OFF -DQUORVAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -- -j"${QUORVAN_JOBS:-2}"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
[ -n "$version" ] && [ -n "$libdir" ] || { log "cannot read the version or library folder from $build/CMakeCache.txt" >&2; exit 1; }
case $libdir in lib/*-*-*) ;; *) log "the library folder is $libdir, not a multiarch one (lib/<triplet>)" >&2; exit 1 ;; esac

work=$build/debs-work
out=$build/debs
rm -rf "$work" "$out"
mkdir -p "$work/stage" "$out"
DESTDIR=$work/stage cmake --install "$build" --strip >/dev/null

# Each installed file to its package, by where it lies.
declare -A owner
while IFS= read -r -d '' file; do
  path=${file#"$work/stage"}
  case $path in
    /usr/bin/* | /usr/share/man/* | "/usr/$libdir/quorvan/"*) owner[$path]=quorvan ;;
    "/usr/$libdir/"lib*.so.*) owner[$path]=libquorvan1 ;;
    /usr/include/* | "/usr/$libdir/"lib*.so | "/usr/$libdir/cmake/"* | "/usr/$libdir/pkgconfig/"*) owner[$path]=libquorvan-dev ;;
    *) log "no package for the installed file $path" >&2; exit 1 ;;
  esac
done < <(find "$work/stage" \( -type f -o -type l \) -print0)

packages=(libquorvan1 libquorvan-dev quorvan)
for pkg in "${packages[@]}"; do
  mkdir -p "$work/$pkg/DEBIAN" "$work/$pkg/usr/share/doc/$pkg"
done
for path in "${!owner[@]}"; do
  dest=$work/${owner[$path]}$path
  mkdir -p "$(dirname "$dest")"
  cp -a "$work/stage$path" "$dest"
done
# Manual pages are compressed, without a time stamp.
find "$work/quorvan/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +
# Shared objects are not programs.
find "$work"/{libquorvan1,quorvan}/usr/lib -type f -name '*.so*' -exec chmod 0644 {} +

# What every package carries: the copyright and the changelog.
stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)
date=$(date -R -d "@$stamp")
year=$(date +%Y -d "@$stamp")
maintainer=${QUORVAN_DEB_MAINTAINER:-Quorvan developers <quorvan@example.org>}
for pkg in "${packages[@]}"; do
  doc=$work/$pkg/usr/share/doc/$pkg
  cat >"$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quorvan
Source: the Quorvan repository

Files: *
Copyright: $year the Quorvan developers
License: permissive
 Quorvan is the Quorvan developers' own work. It links Debian's libmpg123
 (LGPL-2.1) and libsoxr (LGPL-2.1) dynamically.
EOF
  printf 'quorvan (%s) unstable; urgency=medium\n\n  * Built from the Quorvan tree with scripts/make-debs.sh.\n\n -- %s  %s\n' \
    "$version" "$maintainer" "$date" | gzip -9n >"$doc/changelog.gz"
done

# dpkg-shlibdeps reads a debian/control; libQuorvan.so.1 and libqvafx.so.1
# are this build's own, provided by libquorvan1 of this version.
mkdir -p "$work/src/debian"
printf 'Source: quorvan\n\nPackage: quorvan\nArchitecture: any\n' >"$work/src/debian/control"
printf 'libQuorvan 1 libquorvan1 (= %s)\nlibqvafx 1 libquorvan1 (= %s)\n' "$version" "$version" \
  >"$work/src/debian/shlibs.local"
shlibdeps() {  # shlibdeps PACKAGE: the Depends of its ELF files
  local files
  mapfile -t files < <(find "$work/$1" -path "$work/$1/DEBIAN" -prune -o -type f -print | while read -r f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] && echo "$f"; done)
  [ ${#files[@]} -gt 0 ] || return 0
  (cd "$work/src" && dpkg-shlibdeps -O -x"$1" -l"$work/libquorvan1/usr/$libdir" "${files[@]}" 2>"$work/shlibdeps-$1.log") |
    sed -n 's/^shlibs:Depends=//p'
}

multiarch=${libdir#lib/}
description() {
  case $1 in
    quorvan) printf '%s\n' "convert MPEG audio files into WAV files" \
      " quorvan converts MPEG-1, 2 and 2.5 audio files of Layers I, II and III" \
      " into 16-bit PCM WAV files at 44100 Hz, two channels, several at once." \
      " This package holds the command, the decoder modules that the library" \
      " loads (built on libmpg123 and libsoxr) and the manual page." ;;
    libquorvan1) printf '%s\n' "MPEG audio to WAV conversion library" \
      " The Quorvan library turns one MPEG audio file into one WAV file through a" \
      " single exported function, DecodeMpegToWav. This package holds the library" \
      " and its framework library (libqvafx), which hosts link too. The decoder" \
      " modules it loads come with the quorvan package." ;;
    libquorvan-dev) printf '%s\n' "MPEG audio to WAV conversion library - development files" \
      " The headers of the Quorvan library and of its framework library, the" \
      " link names, the CMake package (find_package(Quorvan)) and quorvan.pc for" \
      " pkg-config." ;;
  esac
}
for pkg in "${packages[@]}"; do
  dir=$work/$pkg
  depends=$(shlibdeps "$pkg")
  section=libs multi=same extra=""
  case $pkg in
    quorvan) section=sound multi="" ;;  # libquorvan1 (= VERSION) comes from shlibs.local
    libquorvan1) extra="Recommends: quorvan (= $version)" ;;
    libquorvan-dev) section=libdevel; depends="libquorvan1 (= $version)${depends:+, $depends}" ;;
  esac
  depends=$(sed -e 's/, *$//' -e 's/^, *//' <<<"$depends")
  {
    echo "Package: $pkg"
    echo "Version: $version"
    echo "Architecture: $arch"
    [ -z "$multi" ] || echo "Multi-Arch: $multi"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $(du -sk --exclude=DEBIAN "$dir" | cut -f1)"
    [ -z "$depends" ] || echo "Depends: $depends"
    [ -z "$extra" ] || echo "$extra"
    echo "Section: $section"
    echo "Priority: optional"
    echo "Description: $(description "$pkg" | head -1)"
    description "$pkg" | tail -n +2
  } >"$dir/DEBIAN/control"
  if [ "$pkg" = libquorvan1 ]; then
    cp "$work/src/debian/shlibs.local" "$dir/DEBIAN/shlibs"
    sed -i "s/(= $version)/(>= $version)/" "$dir/DEBIAN/shlibs"
    echo "activate-noawait ldconfig" >"$dir/DEBIAN/triggers"
    chmod 0644 "$dir/DEBIAN/shlibs" "$dir/DEBIAN/triggers"
  fi
  (cd "$dir" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 -r md5sum) >"$dir/DEBIAN/md5sums"
  find "$dir" -type d -exec chmod 0755 {} +
  dpkg-deb --root-owner-group -Zxz --build "$dir" "$out/${pkg}_${version}_${arch}.deb" >/dev/null
  log "$out/${pkg}_${version}_${arch}.deb: Depends: ${depends:-nothing}"
done
log "modules in /usr/lib/$multiarch/quorvan/, libraries in /usr/lib/$multiarch/"
