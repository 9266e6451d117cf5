#!/usr/bin/env bash
# Installs a build into /usr/local for real, refreshes the loader's cache and
# runs the whole suite against it: the tests must pass whatever is installed
# on the machine. Then it does the same with an older layout that put the
# decoder modules straight into /usr/local/lib. Afterwards it removes exactly
# the files it installed (and the folders it created) and refreshes the cache
# again, so the machine is left as it was. Needs root.
#   scripts/check-system-install.sh [BUILD_DIR]   (default: build/, already built)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
prefix=/usr/local

[ "$(id -u)" -eq 0 ] || { echo "check-system-install: installs into $prefix; run it as root" >&2; exit 1; }
[ -e "$build/CTestTestfile.cmake" ] || { echo "check-system-install: $build holds no built tests (run scripts/test.sh first)" >&2; exit 1; }

list=$(mktemp)
folders=$(mktemp)
old=()
# Folders that do not exist yet are ours to remove again, deepest first.
for d in lib/quorvan lib/cmake/Quorvan lib/cmake lib/pkgconfig include/quorvan/platform include/quorvan; do
  [ -e "$prefix/$d" ] || echo "$prefix/$d" >>"$folders"
done
for m in libma32.so libmasd32.so; do
  [ -e "$prefix/lib/$m" ] && { echo "check-system-install: $prefix/lib/$m exists already; not touching it" >&2; exit 1; }
done
cleanup() {
  xargs -r -d '\n' rm -f <"$list"
  rm -f "${old[@]}"
  while read -r d; do rmdir "$d" 2>/dev/null || true; done <"$folders"
  ldconfig
  rm -f "$list" "$folders"
  echo "check-system-install: removed what was installed into $prefix"
}
trap cleanup EXIT

"$root/tests/tool/install-to.sh" "$build" "$prefix" "$list"
ldconfig
echo "check-system-install: installed into $prefix ($(wc -l <"$list") files); running the suite"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure >"$build/system-install-ctest.log" 2>&1 ||
  { tail -n 40 "$build/system-install-ctest.log"; exit 1; }

# An older installation with the modules among the system's libraries.
for m in libma32.so libmasd32.so; do
  cp "$prefix/lib/quorvan/$m" "$prefix/lib/$m"
  old+=("$prefix/lib/$m")
done
ldconfig
echo "check-system-install: modules also in $prefix/lib; running the suite again"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure >"$build/system-install-ctest.log" 2>&1 ||
  { tail -n 40 "$build/system-install-ctest.log"; exit 1; }
echo "check-system-install: the suite passes with Quorvan installed in $prefix"
