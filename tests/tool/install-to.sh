#!/usr/bin/env bash
# Installs BUILD_DIR into PREFIX for a test, leaving the build as it was:
# cmake --install overwrites the build's install_manifest.txt, the list a user
# needs to uninstall a real installation, so it is put back afterwards.
#   install-to.sh BUILD_DIR PREFIX [LIST]   (LIST: where to keep the list of installed files)
set -euo pipefail
build=$1
prefix=$2
list=${3:-}
manifest=$build/install_manifest.txt
saved=$(mktemp)
had=0
if [ -e "$manifest" ]; then
  cp -p "$manifest" "$saved"
  had=1
fi
restore() {
  if [ "$had" = 1 ]; then mv -f "$saved" "$manifest"; else rm -f "$manifest" "$saved"; fi
}
trap restore EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
[ -z "$list" ] || cp "$manifest" "$list"
