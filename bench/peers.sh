#!/usr/bin/env bash
# Converts the same MPEG files to 44.1 kHz stereo 16-bit WAV with quorvan and
# with the other converters on this machine (ffmpeg; mpg123 and sox when they
# can read MP3 here), and prints each one's time as a ratio to quorvan's.
# Rounds alternate between the converters so that machine noise spreads over
# all of them; the best round of each counts.
#   bench/peers.sh [BUILD_DIR] [SECONDS_OF_AUDIO] [ROUNDS]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-300}
rounds=${3:-5}
quorvan=$build/bin/quorvan
[ -x "$quorvan" ] || { echo "no $quorvan: build first (scripts/setup.sh)" >&2; exit 1; }
command -v ffmpeg >/dev/null && command -v lame >/dev/null || { echo "needs ffmpeg and lame" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Material: music-like noise and tones, as 44.1 kHz and 48 kHz MP3 files.
ffmpeg -v error -f lavfi -i "sine=f=440:d=$seconds" -f lavfi -i "anoisesrc=d=$seconds:a=0.1" \
  -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 "$work/src.wav"
lame --quiet -b 192 "$work/src.wav" "$work/a44.mp3"
ffmpeg -v error -i "$work/src.wav" -ar 48000 -c:a libmp3lame -b:a 192k "$work/a48.mp3"

declare -A cmds
cmds[quorvan]='"$quorvan" -q -f -j 1 "$in" -o "$work/out.wav"'
cmds[ffmpeg]='ffmpeg -v error -y -i "$in" -ar 44100 -ac 2 -c:a pcm_s16le "$work/out.wav"'
if command -v mpg123 >/dev/null; then
  cmds[mpg123]='mpg123 -q -r 44100 --stereo -w "$work/out.wav" "$in"'
fi
if sox -h 2>/dev/null | grep -q ' mp3 '; then
  cmds[sox]='sox "$in" -r 44100 -c 2 -b 16 "$work/out.wav"'
fi
names=(quorvan $(printf '%s\n' "${!cmds[@]}" | grep -v '^quorvan$' | sort))

now() { date +%s.%N; }
for in in "$work/a44.mp3" "$work/a48.mp3"; do
  declare -A best=()
  for ((r = 0; r < rounds; r++)); do
    for name in "${names[@]}"; do
      t0=$(now)
      eval "${cmds[$name]}"
      t=$(echo "$(now) - $t0" | bc -l)
      if [ -z "${best[$name]:-}" ] || (( $(echo "$t < ${best[$name]}" | bc -l) )); then best[$name]=$t; fi
    done
  done
  echo "$(basename "$in"): ${seconds} s of audio, best of $rounds rounds"
  for name in "${names[@]}"; do
    printf '  %-8s %7.3f s  %6.1fx realtime  %5.2fx quorvan'"'"'s time\n' "$name" "${best[$name]}" \
      "$(echo "$seconds / ${best[$name]}" | bc -l)" "$(echo "${best[$name]} / ${best[quorvan]}" | bc -l)"
  done
  unset best
done
