#!/usr/bin/env bash
# Builds the host in this folder, which adds Quorvan with add_subdirectory and
# has a build type of its own (Release), with a plain `cmake --build`. Then:
# the host's build type held and Quorvan built in it, no test, fuzz replay or
# benchmark was built and no install rule made, and the host converts the
# bundled sample from two threads at once, from another folder and with no
# environment variable set: the library finds the modules built with it.
#   tests/subproject/run.sh [WORK_DIR]   (default: a temporary folder, removed)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
fail() { echo "subproject: $*" >&2; exit 1; }

if [ -n "${1:-}" ]; then
  work=$1
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
build=$work/build

cmake -S "$here" -B "$build" -DQUORVAN_SOURCE_DIR="$root" >"$work/configure.log" ||
  { cat "$work/configure.log"; fail "configuring failed"; }
cmake --build "$build" >"$work/build.log" || { tail -n 40 "$work/build.log"; fail "building failed"; }

type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$type" = Release ] || fail "the host's build type is '$type', not Release"
# Release: no debugging information (RelWithDebInfo would have it).
lib=$build/quorvan/lib/libQuorvan.so
[ -e "$lib" ] || fail "no $lib"
! readelf -S "$lib" | grep -q '\.debug_info' || fail "$lib was not built as Release"

for unwanted in tests fuzz bench; do
  [ ! -e "$build/quorvan/$unwanted" ] || fail "quorvan/$unwanted was made for the host"
done
[ -z "$(ctest --test-dir "$build" -N | grep 'Test *#')" ] || fail "the host's build has Quorvan's tests"
! grep -rq 'file(INSTALL' --include=cmake_install.cmake "$build/quorvan" || fail "Quorvan made install rules for the host"

mkdir -p "$work/out"
out=$(cd / && env -i "$build/host" "$root/examples/sample.mp3" "$work/out") || fail "the host failed: $out"
[ "$out" = "ok 10" ] || fail "the host printed: $out"
echo "subproject: Release host built Quorvan with add_subdirectory; 10 conversions from two threads, all 0 and identical"
