#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing (only those), then
# configures and builds Quorvan.
#   scripts/setup.sh [--convert] [BUILD_DIR] [extra cmake arguments...]
# With --convert only what converting a file needs is installed and built (the
# library, the decoder modules and the quorvan command); without it,
# everything: the tests, their encoders and reference decoder, and the
# benchmarks too. QUORVAN_EXTRA_PACKAGES adds Debian packages;
# QUORVAN_BUILD_TARGETS builds only those targets (default: all).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
convert_only=0
if [ "${1:-}" = "--convert" ]; then
  convert_only=1
  shift
fi
build=${1:-$root/build}
shift || true

# Building and converting; then what the tests and benchmarks add.
packages=(build-essential cmake ninja-build pkg-config libmpg123-dev libsoxr-dev)
[ "$convert_only" = 1 ] || packages+=(libgtest-dev libgmock-dev lame twolame sox ffmpeg bc valgrind)
packages+=(${QUORVAN_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The script the user ran, for the messages (convert.sh and test.sh say).
script=${QUORVAN_SCRIPT:-scripts/setup.sh}
started=$SECONDS
phase() {  # phase WHAT: one line per step, with the seconds it took
  echo "$script: $1 ($((SECONDS - started)) s)"
  started=$SECONDS
}
no_rights() {
  local user
  user=$(id -un)
  {
    echo "$script: needs to install these Debian packages: ${missing[*]}"
    echo "  That needs root, and $user $1. Either:"
    echo "  - run $script as root (e.g. after 'su -'), or"
    echo "  - as root, give $user sudo rights: apt-get install sudo && usermod -aG sudo $user"
    echo "    then log out and in again as $user (the group counts from the next login) and run $script again."
  } >&2
  exit 1
}
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || no_rights "cannot use sudo (it is not installed)"
    sudo=sudo
  fi
  export DEBIAN_FRONTEND=noninteractive
  echo "$script: installing ${missing[*]}"
  if [ -n "$sudo" ]; then
    sudo -v || no_rights "may not use sudo, or sudo failed"
  fi
  # shellcheck source=scripts/apt-sources.sh
  $sudo bash -c 'source "$1"; apt_update' _ "$root/scripts/apt-sources.sh"
  phase "package lists updated"
  # Fetched first, then unpacked: two steps that each say when they are done.
  $sudo apt-get install -y -qq --no-install-recommends --download-only "${missing[@]}" >/dev/null
  phase "packages downloaded"
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  phase "packages installed"
fi

if [ "$convert_only" = 1 ]; then
  # A build folder configured before (by scripts/test.sh, say) keeps its options;
  # only the parts a conversion needs are built.
  [ -e "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DQUORVAN_BUILD_TESTS=OFF -DQUORVAN_BUILD_BENCH=OFF "$@" >/dev/null
  phase "configured $build"
  cmake --build "$build" --target quorvan quorvan_ma32 quorvan_masd32 -- -j"$(nproc)"
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVAN_BUILD_TESTS=ON -DQUORVAN_BUILD_BENCH=ON "$@" >/dev/null
  phase "configured $build"
  targets=()
  for t in ${QUORVAN_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
  cmake --build "$build" "${targets[@]}" -- -j"$(nproc)"
fi
phase "built"
