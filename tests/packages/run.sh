#!/usr/bin/env bash
# The Debian packages as a user gets them: builds them (scripts/make-debs.sh),
# checks them with lintian (no errors; the warnings and notes are printed),
# then makes a fresh Debian root with debootstrap from the machine's own
# archive (scripts/apt-sources.sh), installs them there with
# `apt-get install ./*.deb`, converts the bundled sample with quorvan, builds
# the host of tests/consumer with pkg-config and with find_package(Quorvan)
# (tests/consumer/run.sh --installed /usr), removes the packages again and
# checks that none of their files is left. Needs root (debootstrap, chroot).
#   tests/packages/run.sh [BUILD_DIR]   (default: build-deb/)
# The finished base root is kept as BUILD_DIR/debian-root.tar, so that a
# second run skips debootstrap; remove it to start afresh.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build-deb}
mkdir -p "$build"
build=$(cd "$build" && pwd)
started=$SECONDS
say() { echo "packages: $* ($((SECONDS - started)) s)"; }
fail() { echo "packages: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root for debootstrap and chroot"
need=()
for p in debootstrap lintian dpkg-dev cmake ninja-build; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  say "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

"$src/scripts/make-debs.sh" "$build" | grep '^make-debs:'
debs=("$build"/debs/*.deb)
say "built ${#debs[@]} packages"

# lintian: errors fail; what else it says is shown.
lintian --fail-on error --display-info "${debs[@]}" >"$build/lintian.txt" 2>&1 ||
  { cat "$build/lintian.txt"; fail "lintian found errors (see $build/lintian.txt)"; }
grep -v 'running with root privileges' "$build/lintian.txt" || true
say "lintian: no errors; $(grep -c '^W:' "$build/lintian.txt" || true) warnings, $(grep -c '^I:' "$build/lintian.txt" || true) notes"

# A fresh root from the archive this machine uses.
# shellcheck source=scripts/apt-sources.sh
source "$src/scripts/apt-sources.sh"
read -r mirror suite < <(apt_archive) || fail "no Debian archive to make a root from"
root=$build/debian-root
mounts=()
cleanup() {
  local m
  for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do umount -l "${mounts[m]}" 2>/dev/null || true; done
  rm -rf "$root"
}
trap cleanup EXIT
cleanup
if [ -f "$build/debian-root.tar" ]; then
  mkdir -p "$root" && tar -xf "$build/debian-root.tar" -C "$root"
  say "root from $build/debian-root.tar"
else
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$build/debootstrap.log" 2>&1 ||
    { tail -20 "$build/debootstrap.log" >&2; fail "debootstrap $suite from $mirror"; }
  say "debootstrap $suite from $mirror"
fi
for m in proc dev dev/pts sys; do
  mount --bind "/$m" "$root/$m"
  mounts+=("$root/$m")
done
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }

if [ ! -f "$build/debian-root.tar" ]; then
  in_root apt-get update -qq
  # What building a host needs; the packages bring their own dependencies.
  in_root apt-get install -y -qq --no-install-recommends g++ cmake make pkg-config >/dev/null
  in_root apt-get clean
  say "build tools installed in the root"
  for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do umount -l "${mounts[m]}"; done
  tar -cf "$build/debian-root.tar" -C "$root" .
  for m in "${mounts[@]}"; do mount --bind "${m#"$root"}" "$m"; done
fi

mkdir -p "$root/tmp/debs" "$root/tmp/src/tests" "$root/tmp/src/examples"
cp "${debs[@]}" "$root/tmp/debs/"
cp -r "$src/tests/consumer" "$root/tmp/src/tests/"
cp "$src/examples/sample.mp3" "$root/tmp/src/examples/"
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

# Hosts through pkg-config and find_package(Quorvan), against /usr.
in_root bash /tmp/src/tests/consumer/run.sh --installed /usr /tmp/src/examples/sample.mp3 || fail "the consumer hosts"
say "hosts built with pkg-config and find_package(Quorvan) converted the sample"

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
echo "packages: passed (lintian: $(grep -c '^W:' "$build/lintian.txt" || true) warnings)"
