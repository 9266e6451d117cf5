#!/usr/bin/env bash
# Makes examples/sample.mp3, the short file the quick start converts: a
# synthesised voice reading one sentence, as a small mono MP3 (MPEG-1 Layer
# III, 44100 Hz, 40 kbit/s). Run by hand; needs espeak-ng and lame.
#   examples/make-sample.sh
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

espeak-ng -v en -s 150 -w "$tmp/speech.wav" \
  "This is Quorvan. It turns MPEG audio into a WAV file, one file at a time."
lame --quiet -m m --resample 44.1 -b 40 \
  --tt "Quorvan sample" --ta "espeak-ng" "$tmp/speech.wav" "$here/sample.mp3"
ls -l "$here/sample.mp3"
