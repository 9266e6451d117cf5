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
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
      echo "scripts/setup.sh: needs to install ${missing[*]}: run it as root, or install sudo first (as root: apt-get install sudo)" >&2
      exit 1
    }
    sudo=sudo
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "$convert_only" = 1 ]; then
  # A build folder configured before (by scripts/test.sh, say) keeps its options;
  # only the parts a conversion needs are built.
  [ -e "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DQUORVAN_BUILD_TESTS=OFF -DQUORVAN_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "$build" --target quorvan quorvan_ma32 quorvan_masd32 -- -j"$(nproc)"
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVAN_BUILD_TESTS=ON -DQUORVAN_BUILD_BENCH=ON "$@" >/dev/null
  targets=()
  for t in ${QUORVAN_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
  cmake --build "$build" "${targets[@]}" -- -j"$(nproc)"
fi
