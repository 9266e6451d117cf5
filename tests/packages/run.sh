#!/usr/bin/env bash
# The Debian packages as Debian builds them and a user gets them: makes the
# source package of this tree (dpkg-buildpackage -S), builds the binary
# packages from it in a fresh Debian root that holds only the build
# dependencies (dpkg-buildpackage -b), checks them with lintian (errors and
# warnings fail; the informational and pedantic tags are printed), installs
# them in another fresh root with `apt-get install ./*.deb`, converts the
# bundled sample with quorvan, runs the packages' own tests (debian/tests/:
# the conversion, and the host of tests/consumer built with pkg-config and
# with find_package(Quorvan)), runs hardening-check on the installed
# binaries, removes the packages again and checks that none of their files is
# left. The roots come from debootstrap, from the machine's own archive
# (scripts/apt-sources.sh). Needs root (debootstrap, chroot).
#   tests/packages/run.sh [BUILD_DIR]   (default: build-deb/)
# The packages end up in BUILD_DIR/debs/, lintian's report in
# BUILD_DIR/lintian.txt. The base root is kept as BUILD_DIR/debian-root.tar
# and the build root, keyed on debian/control, as
# BUILD_DIR/debian-build-root-<key>.tar, so that a second run skips
# debootstrap and the installation of the build dependencies; remove them to
# start afresh.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build-deb}
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=${QUORVAN_JOBS:-2}
started=$SECONDS
say() { echo "packages: $* ($((SECONDS - started)) s)"; }
fail() { echo "packages: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root for debootstrap and chroot"
need=()
for p in debootstrap lintian dpkg-dev debhelper devscripts; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  say "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The source package, from the files of the checkout (tracked, or new and not
# ignored), so that no build tree goes in.
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -SVersion)
project=$(sed -n 's/^project(Quorvan VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$version" = "$project" ] || fail "debian/changelog is at $version, the project at $project: add a changelog entry"
srcdir=$build/source/quorvan-$version
rm -rf "$build/source" "$build/debs"
mkdir -p "$srcdir" "$build/debs"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z -co --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null) |
    tar -xf - -C "$srcdir"
else
  tar -C "$src" --exclude='./build*' --exclude=./out -cf - . | tar -xf - -C "$srcdir"
fi
(cd "$srcdir" && dpkg-buildpackage -S -us -uc -d) >"$build/source.log" 2>&1 ||
  { tail -20 "$build/source.log" >&2; fail "dpkg-buildpackage -S"; }
dsc=$build/source/quorvan_$version.dsc
say "source package $(basename "$dsc")"

# The roots, from the archive this machine uses.
# shellcheck source=scripts/apt-sources.sh
source "$src/scripts/apt-sources.sh"
read -r mirror suite < <(apt_archive) || fail "no Debian archive to make a root from"
root=$build/debian-root
mounts=()
unmount_all() {
  local m
  for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do umount -l "${mounts[m]}" 2>/dev/null || true; done
  mounts=()
}
cleanup() { unmount_all; rm -rf "$root"; }
trap cleanup EXIT
# The roots share one folder of downloaded packages, BUILD_DIR/apt-archives/:
# what the build root fetched, the install root need not fetch again, nor the
# next run.
mount_root() {
  local m
  mkdir -p "$build/apt-archives/partial"
  for m in proc dev dev/pts sys var/cache/apt/archives; do
    if [ "$m" = var/cache/apt/archives ]; then
      mount --bind "$build/apt-archives" "$root/$m"
    else
      mount --bind "/$m" "$root/$m"
    fi
    mounts+=("$root/$m")
  done
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}
# fresh_root TAR: the root afresh from TAR, mounted.
fresh_root() {
  cleanup
  mkdir -p "$root" && tar -xf "$1" -C "$root"
  mount_root
}
# save_root TAR: the root, without the shared packages folder, kept as TAR.
save_root() {
  unmount_all
  tar -cf "$1.part" -C "$root" . && mv "$1.part" "$1"
  mount_root
}
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }

base=$build/debian-root.tar
if [ ! -f "$base" ]; then
  cleanup
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$build/debootstrap.log" 2>&1 ||
    { tail -20 "$build/debootstrap.log" >&2; fail "debootstrap $suite from $mirror"; }
  say "debootstrap $suite from $mirror"
  mount_root
  in_root apt-get update -qq
  # What building a host needs; the packages bring their own dependencies.
  in_root apt-get install -y -qq --no-install-recommends g++ cmake make pkg-config >/dev/null
  save_root "$base"
  say "build tools installed in the root"
fi

# The binary packages, built in a root with nothing but the base and the
# source package's build dependencies.
key=$(sha256sum "$src/debian/control" | cut -c1-12)
builder=$build/debian-build-root-$key.tar
mkdir -p "$root"
if [ -f "$builder" ]; then
  fresh_root "$builder"
else
  rm -f "$build"/debian-build-root-*.tar
  fresh_root "$base"
  mkdir -p "$root/tmp/deps/debian" && cp "$src/debian/control" "$root/tmp/deps/debian/"
  in_root apt-get update -qq
  in_root sh -c 'cd /tmp/deps && apt-get build-dep -y -qq ./' >"$build/build-deps.log" 2>&1 ||
    { tail -20 "$build/build-deps.log" >&2; fail "the build dependencies"; }
  rm -rf "$root/tmp/deps"
  save_root "$builder"
  say "build dependencies installed in a root of their own"
fi
mkdir -p "$root/tmp/build"
cp "$dsc" "$build/source/quorvan_$version.tar."* "$root/tmp/build/"
in_root sh -c "cd /tmp/build && dpkg-source -x quorvan_$version.dsc quorvan-$version >/dev/null &&
               cd quorvan-$version && DEB_BUILD_OPTIONS=parallel=$jobs dpkg-buildpackage -us -uc -b" \
  >"$build/build.log" 2>&1 || { tail -30 "$build/build.log" >&2; fail "dpkg-buildpackage -b in the clean root"; }
cp "$root"/tmp/build/*.deb "$root"/tmp/build/*.changes "$root"/tmp/build/*.buildinfo "$build/debs/"
debs=() dbgsym=()
for deb in "$build"/debs/*.deb; do
  case $deb in *-dbgsym_*) dbgsym+=("$deb") ;; *) debs+=("$deb") ;; esac
done
[ ${#debs[@]} -eq 3 ] && [ ${#dbgsym[@]} -eq 2 ] ||
  fail "expected 3 packages and 2 -dbgsym ones: $(cd "$build/debs" && echo *.deb)"
say "built $(cd "$build/debs" && echo *.deb) in a clean root"

# lintian: errors and warnings fail; the rest is shown.
changes=$(ls "$build"/debs/*.changes)
lintian -I --pedantic --fail-on error,warning "$dsc" "$changes" >"$build/lintian.txt" 2>&1 ||
  { cat "$build/lintian.txt"; fail "lintian found errors or warnings (see $build/lintian.txt)"; }
grep -v 'running with root privileges' "$build/lintian.txt" || true
say "lintian: no errors or warnings; $(grep -c '^[IP]:' "$build/lintian.txt" || true) informational and pedantic tags"

# A fresh root again, without the build dependencies, for the packages alone.
fresh_root "$base"
mkdir -p "$root/tmp/debs" "$root/tmp/src"
cp "${debs[@]}" "$root/tmp/debs/"
cp -r "$srcdir/." "$root/tmp/src/"
in_root apt-get update -qq
in_root sh -c 'cd /tmp/debs && apt-get install -y -qq --no-install-recommends ./*.deb' >"$build/install.log" 2>&1 ||
  { tail -20 "$build/install.log" >&2; fail "apt-get install ./*.deb"; }
say "installed with apt-get install ./*.deb"

# The files, where they belong.
files=$(in_root dpkg -L quorvan libquorvan1 libquorvan-dev)
multiarch=$(in_root dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || in_root gcc -print-multiarch)
for f in /usr/bin/quorvan /usr/share/man/man1/quorvan.1.gz "/usr/lib/$multiarch/libQuorvan.so.1" \
         "/usr/lib/$multiarch/libqvafx.so.1" "/usr/lib/$multiarch/quorvan/libma32.so" \
         "/usr/lib/$multiarch/quorvan/libmasd32.so" "/usr/lib/$multiarch/pkgconfig/quorvan.pc" \
         "/usr/lib/$multiarch/cmake/Quorvan/QuorvanConfig.cmake" /usr/include/quorvan/Quorvan.h; do
  grep -qx "$f" <<<"$files" || fail "$f is in none of the packages"
done
stray=$(grep '^/usr/include/' <<<"$files" | grep -v '^/usr/include/quorvan' || true)
[ -z "$stray" ] || fail "headers outside /usr/include/quorvan/: $stray"
in_root dpkg -s libmpg123-0 libsoxr0 >/dev/null || fail "libmpg123-0 and libsoxr0 did not come with quorvan"

# The command, as a user runs it.
out=$(in_root sh -c 'cd /tmp && cp src/examples/sample.mp3 song.mp3 && quorvan song.mp3 && quorvan -q song.mp3 -o again.wav') ||
  fail "quorvan: $out"
[ "$out" = "song.mp3 -> songmp3.wav" ] || fail "quorvan printed: $out"
[ "$(head -c 4 "$root/tmp/songmp3.wav")" = RIFF ] && cmp -s "$root/tmp/songmp3.wav" "$root/tmp/again.wav" ||
  fail "quorvan wrote no WAV file"
say "quorvan converted the sample: $out"

# The packages' own tests (debian/tests/control), as autopkgtest runs them:
# from the source tree, each with a scratch folder of its own. The consumer
# test builds the hosts with pkg-config and find_package(Quorvan).
tests=$(sed -n 's/^Tests: *//p' "$srcdir/debian/tests/control")
for t in $tests; do
  in_root sh -c "cd /tmp/src && AUTOPKGTEST_TMP=\$(mktemp -d) debian/tests/$t" >"$build/autopkgtest-$t.log" 2>&1 ||
    { cat "$build/autopkgtest-$t.log" >&2; fail "debian/tests/$t"; }
  say "debian/tests/$t passed"
done

# The hardening of what was installed: PIE, the stack protector, full RELRO
# and immediate binding must all be there. Fortify is not asked for: a binary
# compiled with it whose calls all have sizes known only at run time shows
# "only unprotected functions", and control-flow protection is not among the
# flags of this release's dpkg-buildflags.
hardened=()
for f in /usr/bin/quorvan "/usr/lib/$multiarch/libQuorvan.so.1" "/usr/lib/$multiarch/libqvafx.so.1" \
         "/usr/lib/$multiarch/quorvan/libma32.so" "/usr/lib/$multiarch/quorvan/libmasd32.so"; do
  hardened+=("$root$(in_root readlink -f "$f")")
done
hardening-check --nofortify --nocfprotection "${hardened[@]}" >"$build/hardening-check.txt" 2>&1 ||
  { cat "$build/hardening-check.txt"; fail "hardening-check"; }
sed "s|$root||" "$build/hardening-check.txt"

# Removed again: nothing of theirs is left.
in_root apt-get purge -y -qq quorvan libquorvan1 libquorvan-dev >"$build/purge.log" 2>&1 ||
  { tail -20 "$build/purge.log" >&2; fail "apt-get purge"; }
left=""
while read -r f; do
  [ -n "$f" ] && [ ! -d "$root$f" ] && { [ -e "$root$f" ] || [ -L "$root$f" ]; } && left+=" $f"
done <<<"$files"
[ -z "$left" ] || fail "left after purge:$left"
[ ! -e "$root/usr/lib/$multiarch/quorvan" ] || fail "/usr/lib/$multiarch/quorvan/ left after purge"
say "removed again, nothing left"
echo "packages: passed"
