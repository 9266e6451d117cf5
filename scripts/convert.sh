#!/usr/bin/env bash
# Quick start: installs what is missing for building and converting, builds
# the library, the decoder modules and the command (scripts/setup.sh --convert), then
# converts the given MPEG audio files into WAV files with the built quorvan
# command, or the bundled examples/sample.mp3 when none is given.
#   scripts/convert.sh [FILE...]
# Each WAV file goes beside its input (song.mp3 gives songmp3.wav) or, when
# that name is taken, into the temporary folder; the bundled sample becomes
# build/sample.wav, replaced on every run. Each line printed says
# "INPUT -> WAV FILE"; the last lines say where the command is and how to
# install it. The exit status is quorvan's: 0 all converted, 1 some failed
# (the reasons are on standard error), 3 some went to the temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build

QUORVAN_SCRIPT=${QUORVAN_SCRIPT:-scripts/convert.sh} "$root/scripts/setup.sh" --convert "$build"
echo

quorvan=$build/bin/quorvan
status=0
if [ $# -eq 0 ]; then
  # The sample's WAV file stays inside build/, out of the tracked tree; it is
  # ours, so a new run replaces it.
  "$quorvan" --force -o "$build/sample.wav" -- "$root/examples/sample.mp3" || status=$?
else
  "$quorvan" -- "$@" || status=$?
fi

# Where the command is, and how to have it on the PATH.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo "
echo
echo "The command is $quorvan (quorvan --help, man -l $root/tools/quorvan.1)."
echo "To install it, with the library and its manual page, into /usr/local: ${sudo}cmake --install $build"
exit "$status"
