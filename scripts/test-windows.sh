#!/usr/bin/env bash
# The Windows build: installs what is missing (the mingw-w64 cross compiler
# and wine), cross-builds the dependencies (cached, scripts/win32-deps.sh),
# builds everything for 32-bit Windows into build-win32/ (DLLs and programs in
# build-win32/bin/), checks the DLL's file type, and runs the Windows test
# suite under wine through ctest, the command quorvan.exe included.
#   scripts/test-windows.sh              build and test
#   scripts/test-windows.sh --no-tests   build only (the package too: scripts/package-windows.sh)
set -euo pipefail
run_tests=yes
[ "${1:-}" != "--no-tests" ] || run_tests=no

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-win32
jobs=${QUORVAN_JOBS:-2}
step_start=$SECONDS
step() {
  echo "test-windows: $1 ($((SECONDS - step_start))s)"
  step_start=$SECONDS
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

# wine32 is an i386 package: the architecture first, then a fresh package list.
need_update=no
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need_update=yes
fi
# clang-cl, lld-link and llvm-dlltool build the Visual C++-ABI test programs
# and the stand-in MFC42.DLL.
packages=(cmake ninja-build make pkg-config file dpkg-dev bzip2 xz-utils googletest g++-mingw-w64-i686
          wine wine32:i386 clang-14 clang-tools-14 lld-14 llvm-14
          lame twolame sox)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_update = yes ]; then
  echo "test-windows: installing ${missing[*]:-nothing}"
  # shellcheck source=scripts/apt-sources.sh
  $sudo bash -c 'source "$1"; shift; apt_update; [ $# -eq 0 ] || apt_install "$@"' _ \
    "$root/scripts/apt-sources.sh" "${missing[@]}"
fi
step "packages"

deps=$("$root/scripts/win32-deps.sh")
step "dependencies in $deps"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" -DQUORVAN_WIN32_DEPS="$deps" \
  -DQUORVAN_BUILD_BENCH=OFF -DQUORVAN_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" -- -j"$jobs"
step "build"

# What a Windows host will load: a 32-bit x86 PE DLL; and the command, a
# 32-bit x86 console program.
for file in Quorvan.dll ma32.dll masd32.dll quorvan.exe; do
  [ -f "$build/bin/$file" ] || continue
  description=$(file -b "$build/bin/$file")
  case $file:$description in
    *.dll:"PE32 executable (DLL)"*"Intel 80386"* | *.exe:"PE32 executable (console) Intel 80386"*)
      echo "test-windows: $file: $description" ;;
    *) echo "test-windows: $file is not a 32-bit x86 $([ "${file##*.}" = dll ] && echo DLL || echo console program): $description" >&2
       exit 1 ;;
  esac
done

[ $run_tests = yes ] || exit 0

# wine: the server and the prefix's services start first, detached from this
# shell's descriptors (they would otherwise hold ctest's output open and each
# test would wait for them), and stop at the end. A server that already runs
# for the prefix (started by hand, say) is used as it is.
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-quorvan}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# MFC42.DLL is part of Windows, not of wine: the tests run with the stand-in
# that the build makes (tests/windows/mfc42), found through wine's PATH.
standin="Z:$build/mfc42-standin"
export WINEPATH="${standin//\//\\}${WINEPATH:+;$WINEPATH}"
# The server refuses to start for a prefix folder that does not exist yet
# (a fresh machine; wineboot creates its contents), and says so when one
# runs already for the prefix, which is as good.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wine wineboot -i </dev/null >/dev/null 2>&1
step "wine prefix $WINEPREFIX"

ctest --test-dir "$build" --output-on-failure -j"$jobs"
step "tests under wine"
