#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds the host in this folder
# against it twice, through find_package(Quorvan) and through pkg-config, with
# nothing from the source tree on the include path. Each host then converts
# the bundled sample, with no environment variable set, and the installed
# headers must all live under include/quorvan/.
#   tests/consumer/run.sh [BUILD_DIR]   (default: build/)
#   tests/consumer/run.sh --installed PREFIX SAMPLE   hosts against what is
#          installed in PREFIX already (the Debian packages in /usr, say)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
installed=""
if [ "${1:-}" = "--installed" ]; then
  installed=$2
  sample=$3
else
  build=$(cd "${1:-$root/build}" && pwd)
  sample=$root/examples/sample.mp3
fi

for tool in cmake pkg-config c++; do
  command -v "$tool" >/dev/null || { echo "consumer: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if [ -n "$installed" ]; then
  prefix=$installed
else
  # cmake --install records what it installed in the build's install_manifest.txt;
  # the user's own manifest is kept as it was.
  "$root/tests/tool/install-to.sh" "$build" "$prefix"

  stray=$(cd "$prefix/include" && find . -type f ! -path './quorvan/*')
  [ -z "$stray" ] || { echo "consumer: headers installed outside include/quorvan/: $stray" >&2; exit 1; }
fi

fail() { echo "consumer: $*" >&2; exit 1; }

# Runs a host from another folder with a clean environment and checks the WAV file.
convert() {
  local host=$1 name=$2
  cp "$sample" "$work/$name.mp3"
  local out
  out=$(cd / && env -i PATH=/usr/bin:/bin "$host" "$work/$name.mp3") || fail "$name host failed: $out"
  [ "$out" = "0 $work/${name}mp3.wav" ] || fail "$name host printed: $out"
  [ "$(head -c 4 "$work/${name}mp3.wav")" = RIFF ] || fail "$name host wrote no WAV file"
  echo "consumer ($name): $out"
}

# 1. find_package(Quorvan)
cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake-build" >/dev/null
convert "$work/cmake-build/consumer" cmake

# 2. pkg-config; the host names the library's folder in its run path itself.
[ -n "$installed" ] || export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir quorvan)
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/pc-consumer" "$here/host.cpp" $(pkg-config --cflags --libs quorvan) \
    -Wl,-rpath,"$libdir"
unset PKG_CONFIG_PATH || true
convert "$work/pc-consumer" pkgconfig
