#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing
# Quorvan (only the missing packages), then configures and builds.
#   scripts/setup.sh [BUILD_DIR] [extra cmake arguments...]
# QUORVAN_EXTRA_PACKAGES adds Debian packages; QUORVAN_BUILD_TARGETS builds
# only those targets (default: all).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true

packages=(build-essential cmake ninja-build pkg-config
          libgtest-dev libgmock-dev libmpg123-dev libsoxr-dev
          lame twolame sox ffmpeg valgrind ${QUORVAN_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${QUORVAN_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" "${targets[@]}" -- -j"$(nproc)"
