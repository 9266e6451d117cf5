#!/usr/bin/env bash
# Quick start: installs what is missing for building and converting, builds
# the library, the decoder modules and the command (scripts/setup.sh --convert), then
# converts the given MPEG audio files into WAV files with the built quorvan
# command, or the bundled examples/sample.mp3 when none is given.
#   scripts/convert.sh [FILE...]
# Each WAV file goes beside its input (song.mp3 gives songmp3.wav) or, when
# that name is taken, into the temporary folder; the bundled sample becomes
# build/sample.wav, replaced on every run. Each line printed says
# "INPUT -> WAV FILE". The exit status is quorvan's: 0 all converted, 1 some
# failed (the reasons are on standard error).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh" --convert "$build"
echo

quorvan=$build/bin/quorvan
if [ $# -eq 0 ]; then
  # The sample's WAV file stays inside build/, out of the tracked tree; it is
  # ours, so a new run replaces it.
  exec "$quorvan" --force -o "$build/sample.wav" -- "$root/examples/sample.mp3"
fi
exec "$quorvan" -- "$@"
