#!/usr/bin/env bash
# Installs the build into a temporary prefix and converts the bundled sample
# with the installed quorvan, from another folder and with no LD_LIBRARY_PATH:
# the program must find its libraries in lib/ and the decoder modules in
# lib/quorvan/ by itself. The build's install_manifest.txt is left alone. Exits 77 (skipped) when the real decoder modules are not built.
#   installed-layout.sh BUILD_DIR SAMPLE
set -euo pipefail
build=$1
sample=$2
[ -e "$build/lib/quorvan/libma32.so" ] && [ -e "$build/lib/quorvan/libmasd32.so" ] || { echo "skipped: no real decoder modules"; exit 77; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$(dirname "${BASH_SOURCE[0]}")/install-to.sh" "$build" "$prefix"
# The modules are in their own folder, not among the system's libraries.
for module in libma32.so libmasd32.so; do
  [ -e "$prefix/lib/quorvan/$module" ] && [ ! -e "$prefix/lib/$module" ] || { echo "$module not installed in lib/quorvan/ alone"; exit 1; }
done
cp "$sample" "$prefix/song.mp3"
cd /
out=$(env -u LD_LIBRARY_PATH "$prefix/bin/quorvan" "$prefix/song.mp3")
[ "$out" = "$prefix/song.mp3 -> $prefix/songmp3.wav" ] || { echo "unexpected output: $out"; exit 1; }
# The manual page comes with the command.
[ -s "$prefix/share/man/man1/quorvan.1" ] || { echo "quorvan.1 not installed in $prefix/share/man/man1"; exit 1; }
# The modules that were loaded are the installed ones.
trace=$(env -u LD_LIBRARY_PATH LD_DEBUG=files "$prefix/bin/quorvan" -q "$prefix/song.mp3" -o "$prefix/again.wav" 2>&1)
for module in libma32.so libmasd32.so; do
  grep -q "calling init: $prefix/bin/../lib/quorvan/$module" <<<"$trace" || { echo "$module not loaded from $prefix/lib/quorvan"; exit 1; }
done
# A damaged module is named where the library found it: the command's
# diagnosis searches as the library does, not beside the program.
head -c 3000 "$prefix/lib/quorvan/libmasd32.so" >"$prefix/damaged.so"
mv "$prefix/damaged.so" "$prefix/lib/quorvan/libmasd32.so"
status=0
err=$(env -u LD_LIBRARY_PATH "$prefix/bin/quorvan" -q "$prefix/song.mp3" -o "$prefix/third.wav" 2>&1) || status=$?
[ "$status" = 1 ] && grep -q "lib/quorvan/libmasd32.so: not a loadable shared object" <<<"$err" ||
  { echo "a damaged libmasd32.so in lib/quorvan was not diagnosed there (status $status): $err"; exit 1; }
echo "installed quorvan converted the sample with the modules in $prefix/lib/quorvan"
