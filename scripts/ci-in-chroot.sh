#!/usr/bin/env bash
# CI as on a fresh Debian 12 machine: a debootstrap root (minbase) whose
# package sources are the one-line /etc/apt/sources.list that debootstrap
# writes, from the archive this machine uses (scripts/apt-sources.sh); a
# fresh clone of this repository in it, with a read-only copy of shared/
# beside it as CI has; then `CI=true bash .ci/run` inside, as root, with
# /proc, /dev and /sys bound in (wine and the package test's own chroot need
# them). The i386 architecture and wine are installed inside by the Windows
# step itself, as on a fresh machine. Says how long it took.
#   scripts/ci-in-chroot.sh [WORK_DIR]   (default: /var/tmp/quorvan-ci-root)
# KEEP=1 keeps the root afterwards; SHARED names the shared/ folder to copy
# (default: ../shared beside the checkout, when it exists).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${1:-/var/tmp/quorvan-ci-root}
shared=${SHARED:-$repo/../shared}
say() { echo "ci-in-chroot: $*"; }

[ "$(id -u)" -eq 0 ] || { say "needs root (debootstrap, chroot, mount)" >&2; exit 1; }
command -v debootstrap >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
# shellcheck source=scripts/apt-sources.sh
source "$repo/scripts/apt-sources.sh"
read -r mirror suite < <(apt_archive) || exit 1

root=$work/root
mounts=()
cleanup() {
  local m
  for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do umount -l "${mounts[m]}" 2>/dev/null || true; done
  [ "${KEEP:-0}" = 1 ] || rm -rf "$root"
}
trap cleanup EXIT
rm -rf "$root"
mkdir -p "$work"
SECONDS=0
say "debootstrap $suite from $mirror into $root"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log" >&2; exit 1; }
[ -f "$root/etc/apt/sources.list" ] && [ -z "$(ls "$root/etc/apt/sources.list.d/" 2>/dev/null)" ] ||
  { say "the root's sources are not the one-line sources.list alone" >&2; exit 1; }
say "root made ($SECONDS s); its sources: $(grep -v '^#' "$root/etc/apt/sources.list" | tr '\n' ' ')"

# A fresh clone, as CI takes one, with shared/ beside it.
mkdir -p "$root/ci"
git clone -q --no-hardlinks "$repo" "$root/ci/quorvan"
if [ -d "$shared" ]; then
  cp -r "$shared" "$root/ci/shared"
  chmod -R a-w "$root/ci/shared"
fi
for m in proc sys dev dev/pts; do
  mount --bind "/$m" "$root/$m"
  mounts+=("$root/$m")
done
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

start=$SECONDS
status=0
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  LANG=C.UTF-8 CI=true bash -c 'cd /ci/quorvan && bash .ci/run' </dev/null 2>&1 | tee "$work/ci.log" || status=$?
say ".ci/run exited with $status after $((SECONDS - start)) s (root made in $((start)) s); log: $work/ci.log"
exit "$status"
