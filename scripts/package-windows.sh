#!/usr/bin/env bash
# Makes the Windows package: builds for 32-bit Windows as scripts/test-windows.sh
# does (installing what is missing), then names the zip it made,
# build-win32/quorvan-<version>-win32.zip: README.txt; bin/ with Quorvan.dll,
# ma32.dll, masd32.dll and quorvan.exe; the SDK for hosts: include/Quorvan.h,
# lib/ (Quorvan.lib, libQuorvan.dll.a, Quorvan.def) and examples/win32-host/
# (cmake/Win32Package.cmake). The Windows suite checks the same zip
# (Package.ConvertsInAFolderOfItsOwn).
#   scripts/package-windows.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/test-windows.sh" --no-tests
version=$(sed -n 's/^project(Quorvan VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip=$root/build-win32/quorvan-$version-win32.zip
[ -f "$zip" ] || { echo "package-windows: $zip was not made" >&2; exit 1; }
echo "package-windows: $zip"
