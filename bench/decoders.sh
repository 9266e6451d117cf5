#!/usr/bin/env bash
# Converts the same MPEG files to 44.1 kHz stereo 16-bit WAV with quorvan and
# with what a user would pick instead, and prints, per file, each one's median
# wall time, seconds of audio per second, peak resident memory and its time as
# a multiple of quorvan's. All of it comes from one run: rounds alternate
# between the converters on the same files, so machine noise spreads over all.
#
#   bench/decoders.sh [--quick] [BUILD_DIR] [SECONDS_OF_AUDIO] [ROUNDS]
#
# The default is 600 s of audio and 5 rounds; --quick makes 20 s and 1 round,
# a smoke run. The converters that are missing are installed (Debian).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=600
rounds=5
if [ "${1:-}" = "--quick" ]; then
  seconds=20
  rounds=1
  shift
fi
build=${1:-$root/build}
seconds=${2:-$seconds}
rounds=${3:-$rounds}
quorvan=$build/bin/quorvan
[ -x "$quorvan" ] || { echo "no $quorvan: build first (scripts/setup.sh)" >&2; exit 1; }

# The peers and the encoders of the corpus, installed only when missing.
missing=()
for p in mpg123 ffmpeg lame twolame madplay sox time; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The corpus: a music-like signal (a chord whose notes swell and fade, over
# pink noise), encoded by Debian's encoders.
echo "Making ${seconds} s of audio per file..." >&2
ffmpeg -v error -f lavfi -i "aevalsrc=0.2*sin(2*PI*220*t)*(0.6+0.4*sin(2*PI*0.5*t))+0.15*sin(2*PI*277.2*t)*(0.6+0.4*sin(2*PI*0.3*t))|0.2*sin(2*PI*329.6*t)*(0.6+0.4*sin(2*PI*0.7*t))+0.1*sin(2*PI*880*t):s=48000:d=$seconds" \
  -f lavfi -i "anoisesrc=color=pink:a=0.08:r=48000:d=$seconds" \
  -filter_complex "[0][1]amix=inputs=2:normalize=0" -c:a pcm_s16le "$work/src48.wav"
sox "$work/src48.wav" -r 44100 "$work/src44.wav"
sox "$work/src48.wav" -r 22050 -c 1 "$work/src22.wav"
lame --quiet -b 192 "$work/src44.wav" "$work/44k-192.mp3"
lame --quiet -V 2 "$work/src44.wav" "$work/44k-vbr.mp3"
lame --quiet -b 256 "$work/src48.wav" "$work/48k-256.mp3"
lame --quiet -m m -b 64 "$work/src22.wav" "$work/22k-mono.mp3"
twolame --quiet -b 256 "$work/src48.wav" "$work/48k-256.mp2"
rm -f "$work"/src*.wav
cases=(44k-192.mp3 44k-vbr.mp3 48k-256.mp3 22k-mono.mp3 48k-256.mp2)

ffmpeg_soxr=no
ffmpeg -hide_banner -buildconf 2>/dev/null | grep -q -- --enable-libsoxr && ffmpeg_soxr=yes

# One command per converter; $in is the input, $rate its sample rate, $out the
# WAV file. "mpg123 -t" decodes without writing: the floor of decoding alone.
names=(quorvan "quorvan 1 thread" "mpg123 -w" "ffmpeg")
[ "$ffmpeg_soxr" = yes ] && names+=("ffmpeg soxr")
names+=("lame --decode" madplay "mpg123 -t")
run() {
  local name=$1 resample=()
  [ "$rate" = 44100 ] || resample=(-r 44100)
  case $name in
  quorvan) "$quorvan" -q -f -j 1 "$in" -o "$out" ;;
  "quorvan 1 thread") QUORVAN_DECODER_THREADS=1 "$quorvan" -q -f -j 1 "$in" -o "$out" ;;
  "mpg123 -w") mpg123 -q --stereo "${resample[@]}" -w "$out" "$in" ;;
  ffmpeg) ffmpeg -v error -y -i "$in" -ar 44100 -ac 2 "$out" ;;
  "ffmpeg soxr") ffmpeg -v error -y -i "$in" -af aresample=resampler=soxr -ar 44100 -ac 2 "$out" ;;
  # lame cannot resample while decoding: it writes the stream's own rate.
  "lame --decode") lame --quiet --decode "$in" "$out" ;;
  madplay) madplay -Q -S -R 44100 -o "wave:$out" "$in" ;;
  "mpg123 -t") mpg123 -q -t "$in" ;;
  esac
}

now() { date +%s%N; }
results=$work/results  # case <TAB> name <TAB> nanoseconds <TAB> KiB
: >"$results"
for ((r = 1; r <= rounds; r++)); do
  echo "Round $r of $rounds..." >&2
  for c in "${cases[@]}"; do
    in=$work/$c
    out=$work/out.wav
    rate=$(ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$in")
    for name in "${names[@]}"; do
      rm -f "$out"
      t0=$(now)
      /usr/bin/time -f %M -o "$work/rss" bash -c "$(declare -f run); quorvan='$quorvan' in='$in' out='$out' rate='$rate'; run '$name'" \
        || { echo "$name failed on $c" >&2; exit 1; }
      t1=$(now)
      printf '%s\t%s\t%s\t%s\n' "$c" "$name" $((t1 - t0)) "$(tail -n 1 "$work/rss")" >>"$results"
    done
  done
done

echo
echo "$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')); ${seconds} s of audio per file; median of $rounds rounds"
for c in "${cases[@]}"; do
  echo
  echo "$c"
  printf '  %-18s %9s %10s %9s %10s\n' converter "wall s" "audio s/s" "peak MiB" "x quorvan"
  awk -F'\t' -v c="$c" -v secs="$seconds" -v order="$(printf '%s|' "${names[@]}")" '
    function median(list, n,   a, i, j, t) {
      n = split(list, a, " ")
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j > 0 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    $1 == c { t[$2] = t[$2] " " $3 / 1e9; if ($4 > m[$2]) m[$2] = $4 }
    END {
      n = split(order, names, "|")
      q = median(t["quorvan"])
      for (i = 1; i < n; i++) {
        k = names[i]; w = median(t[k])
        printf "  %-18s %9.3f %10.1f %9.1f %10.2f\n", k, w, secs / w, m[k] / 1024, w / q
      }
    }' "$results"
done
