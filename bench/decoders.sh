#!/usr/bin/env bash
# Converts the same MPEG files to 44.1 kHz stereo 16-bit WAV with quorvan and
# with what a user would pick instead, and prints, per file, each one's median
# wall time, seconds of audio per second, peak resident memory and its time as
# a multiple of quorvan's; then the same for a batch of six copies of each
# file (quorvan with its default -j, against two ffmpeg and two mpg123 at a
# time); then the ratios that issue 16 set targets for, each against its
# target. When the Windows build exists (build-win32/ beside BUILD_DIR's
# source tree, or QUORVAN_WIN32_BUILD), quorvan.exe runs under wine too, on
# every file and on one six times as long (44.1 kHz, 128 kbit/s), and the DLL
# path is timed as hosts take it: one DecodeMpegToWav call, timed inside a
# Visual C++-ABI host under wine (call_timer.exe), against the Linux library
# called the same way (bench/call_timer), with one decoder thread and with the
# default threads, set beside the cost of 32-bit code (Debian's i386
# "mpg123 -t" over the amd64 one). All of it comes from one run: rounds
# alternate between the converters on the same files, so machine noise
# spreads over all.
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
win32_build=${QUORVAN_WIN32_BUILD:-$root/build-win32}
quorvan_exe=$win32_build/bin/quorvan.exe
[ -f "$quorvan_exe" ] && command -v wine >/dev/null || quorvan_exe=""
# One call timed in-process: the Linux library's host, and the Visual C++-ABI
# host of Quorvan.dll (built with the Windows tests), run under wine.
call_timer=$build/bench/call_timer
[ -x "$call_timer" ] || call_timer=""
call_timer_exe=$win32_build/tests/call-timer/call_timer.exe
[ -n "$quorvan_exe" ] && [ -n "$call_timer" ] && [ -f "$call_timer_exe" ] || call_timer_exe=""

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

# Debian's i386 mpg123, unpacked into the work folder and run by the i386
# loader (there when wine32 is installed): its "mpg123 -t" over the amd64
# one is the cost of 32-bit code itself, the floor for the Windows build.
mpg123_i386=""
if [ -e /lib/ld-linux.so.2 ] && dpkg --print-foreign-architectures | grep -qx i386; then
  mkdir -p "$work/i386"
  if (cd "$work/i386" &&
      apt-get download mpg123:i386 libmpg123-0:i386 libout123-0:i386 libsyn123-0:i386 >/dev/null 2>&1); then
    for deb in "$work"/i386/*.deb; do dpkg -x "$deb" "$work/i386/root"; done
    [ -x "$work/i386/root/usr/bin/mpg123.bin" ] && mpg123_i386=$work/i386/root
  fi
  [ -n "$mpg123_i386" ] || echo "No i386 mpg123 (apt-get download failed): its row is left out" >&2
fi
if [ -n "$quorvan_exe" ]; then
  # A prefix of the benchmark's own, and its server kept running through the
  # rounds, so that no run pays for starting wine.
  export WINEPREFIX=${QUORVAN_BENCH_WINEPREFIX:-$HOME/.wine-quorvan-bench} WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # MFC42.DLL is part of Windows, not of wine: quorvan.exe runs with the
  # tests' stand-in, as the Windows tests do.
  [ -f "$win32_build/mfc42-standin/MFC42.DLL" ] ||
    { echo "no $win32_build/mfc42-standin/MFC42.DLL: build the Windows tests first (scripts/test-windows.sh)" >&2; exit 1; }
  standin="Z:$win32_build/mfc42-standin"
  export WINEPATH="${standin//\//\\}${WINEPATH:+;$WINEPATH}"
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1 || true
  trap 'wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  wine wineboot -i </dev/null >/dev/null 2>&1
fi

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
cases=(44k-192.mp3 44k-vbr.mp3 48k-256.mp3 22k-mono.mp3 48k-256.mp2)
long=""
if [ -n "$quorvan_exe" ]; then
  long=44k-128-x6.mp3
  sox "$work/src44.wav" "$work/src44.wav" "$work/src44.wav" "$work/src44.wav" "$work/src44.wav" "$work/src44.wav" \
    "$work/src44-x6.wav"
  lame --quiet -b 128 "$work/src44-x6.wav" "$work/$long"
fi
rm -f "$work"/src*.wav
# Six copies of each file, for the batches.
for c in "${cases[@]}"; do
  mkdir -p "$work/batch-$c"
  for i in 1 2 3 4 5 6; do cp "$work/$c" "$work/batch-$c/$i.${c##*.}"; done
done

ffmpeg_soxr=no
ffmpeg -hide_banner -buildconf 2>/dev/null | grep -q -- --enable-libsoxr && ffmpeg_soxr=yes

# One command per converter; $in is the input, $rate its sample rate, $out the
# WAV file. "mpg123 -t" decodes without writing: the floor of decoding alone.
# A batch ($batch, a folder of six copies) is converted with quorvan's default
# -j, and two at a time by the others; each WAV file goes beside its input.
names=(quorvan "quorvan 1 thread" "mpg123 -w" "ffmpeg")
[ "$ffmpeg_soxr" = yes ] && names+=("ffmpeg soxr")
names+=("lame --decode" madplay "mpg123 -t")
[ -n "$mpg123_i386" ] && names+=("mpg123 -t (i386)")
[ -n "$quorvan_exe" ] && names+=("quorvan.exe (wine)" "quorvan.exe 1 thread (wine)")
[ -n "$call_timer_exe" ] && names+=("call, Linux" "call, Linux 1 thread" "call, DLL (wine)" "call, DLL 1 thread (wine)")
batch_names=("quorvan, 6 files" "mpg123 -w, 2 at a time" "ffmpeg, 2 at a time")
long_names=(quorvan "quorvan 1 thread" "quorvan.exe (wine)" "quorvan.exe 1 thread (wine)")
[ -n "$call_timer_exe" ] && long_names+=("call, Linux" "call, Linux 1 thread" "call, DLL (wine)" "call, DLL 1 thread (wine)")
run() {
  local name=$1 resample=()
  [ "$rate" = 44100 ] || resample=(-r 44100)
  case $name in
  quorvan) "$quorvan" -q -f -j 1 "$in" -o "$out" ;;
  "quorvan 1 thread") QUORVAN_DECODER_THREADS=1 "$quorvan" -q -f -j 1 "$in" -o "$out" ;;
  "quorvan.exe (wine)") wine "$quorvan_exe" -q -f -j 1 "Z:$in" -o "Z:$out" </dev/null ;;
  "quorvan.exe 1 thread (wine)") QUORVAN_DECODER_THREADS=1 wine "$quorvan_exe" -q -f -j 1 "Z:$in" -o "Z:$out" </dev/null ;;
  # The call's own time goes to $call, in place of the process's.
  "call, Linux") "$call_timer" "$in" "$out" >"$call" ;;
  "call, Linux 1 thread") QUORVAN_DECODER_THREADS=1 "$call_timer" "$in" "$out" >"$call" ;;
  "call, DLL (wine)")
    wine "$call_timer_exe" "Z:$win32_dll" "Z:$in" "Z:$out" </dev/null >"$call" ;;
  "call, DLL 1 thread (wine)")
    QUORVAN_DECODER_THREADS=1 wine "$call_timer_exe" "Z:$win32_dll" "Z:$in" "Z:$out" </dev/null >"$call" ;;
  "quorvan, 6 files") "$quorvan" -q -f "$batch"/[1-6].mp? ;;
  "mpg123 -w, 2 at a time")
    printf '%s\n' "$batch"/[1-6].mp? | xargs -P2 -I{} mpg123 -q --stereo "${resample[@]}" -w {}.wav {} ;;
  "ffmpeg, 2 at a time")
    printf '%s\n' "$batch"/[1-6].mp? | xargs -P2 -I{} ffmpeg -v error -y -i {} -ar 44100 -ac 2 {}.wav ;;
  "mpg123 -w") mpg123 -q --stereo "${resample[@]}" -w "$out" "$in" ;;
  ffmpeg) ffmpeg -v error -y -i "$in" -ar 44100 -ac 2 "$out" ;;
  "ffmpeg soxr") ffmpeg -v error -y -i "$in" -af aresample=resampler=soxr -ar 44100 -ac 2 "$out" ;;
  # lame cannot resample while decoding: it writes the stream's own rate.
  "lame --decode") lame --quiet --decode "$in" "$out" ;;
  madplay) madplay -Q -S -R 44100 -o "wave:$out" "$in" ;;
  "mpg123 -t") mpg123 -q -t "$in" ;;
  "mpg123 -t (i386)")
    /lib/ld-linux.so.2 --library-path "$mpg123_i386/usr/lib/i386-linux-gnu" "$mpg123_i386/usr/bin/mpg123.bin" -q -t "$in" ;;
  esac
}

now() { date +%s%N; }
results=$work/results  # key <TAB> name <TAB> nanoseconds <TAB> KiB
: >"$results"
# measure KEY NAME: one timed run of NAME on $in (or $batch), into $results;
# a timing host's own figure (seconds, in $call) replaces the process's.
call=$work/call
win32_dll=$win32_build/bin/Quorvan.dll
measure() {
  local key=$1 name=$2 t0 t1
  rm -f "$out" "$call"
  [ -z "$batch" ] || rm -f "$batch"/*.wav
  t0=$(now)
  /usr/bin/time -f %M -o "$work/rss" bash -c "$(declare -f run); quorvan='$quorvan' quorvan_exe='$quorvan_exe' call_timer='$call_timer' call_timer_exe='$call_timer_exe' win32_dll='$win32_dll' call='$call' mpg123_i386='$mpg123_i386' in='$in' out='$out' batch='$batch' rate='$rate'; run '$name'" \
    || { echo "$name failed on $key" >&2; exit 1; }
  t1=$(now)
  [ ! -s "$call" ] || t1=$((t0 + $(awk '{ printf "%.0f", $1 * 1e9 }' "$call")))
  printf '%s\t%s\t%s\t%s\n' "$key" "$name" $((t1 - t0)) "$(tail -n 1 "$work/rss")" >>"$results"
}
out=$work/out.wav
for ((r = 1; r <= rounds; r++)); do
  echo "Round $r of $rounds..." >&2
  for c in "${cases[@]}"; do
    in=$work/$c
    batch=$work/batch-$c
    rate=$(ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$in")
    for name in "${names[@]}"; do measure "$c" "$name"; done
    for name in "${batch_names[@]}"; do measure "$c x6" "$name"; done
  done
  if [ -n "$long" ]; then
    in=$work/$long batch="" rate=44100
    for name in "${long_names[@]}"; do measure "$long" "$name"; done
  fi
done

# The median time and the peak memory of each converter on each key.
medians=$work/medians  # key <TAB> name <TAB> seconds <TAB> MiB
awk -F'\t' '
  function median(list, n,   a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j > 0 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { k = $1 "\t" $2; t[k] = t[k] " " $3 / 1e9; if ($4 > m[k]) m[k] = $4 }
  END { for (k in t) printf "%s\t%.6f\t%.1f\n", k, median(t[k]), m[k] / 1024 }' "$results" >"$medians"
median() { awk -F'\t' -v k="$1" -v n="$2" '$1 == k && $2 == n { print $3 }' "$medians"; }

# table KEY SECONDS_OF_AUDIO NAME...: the first name is the reference.
table() {
  local key=$1 secs=$2 ref=$3 name w
  shift 2
  echo
  echo "$key"
  printf '  %-28s %9s %10s %9s %10s\n' converter "wall s" "audio s/s" "peak MiB" "x ${ref%%,*}"
  for name in "$@"; do
    awk -F'\t' -v k="$key" -v n="$name" -v secs="$secs" -v q="$(median "$key" "$ref")" '
      $1 == k && $2 == n { printf "  %-28s %9.3f %10.1f %9.1f %10.2f\n", n, $3, secs / $3, $4, $3 / q }' "$medians"
  done
}

echo
echo "$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')); ${seconds} s of audio per file; median of $rounds rounds"
for c in "${cases[@]}"; do
  table "$c" "$seconds" "${names[@]}"
  table "$c x6" $((6 * seconds)) "${batch_names[@]}"
done
[ -z "$long" ] || table "$long" $((6 * seconds)) "${long_names[@]}"

# target WHAT KEY NAME KEY NAME LIMIT: the first time over the second, against
# the limit it should not pass.
target() {
  awk -v what="$1" -v a="$(median "$2" "$3")" -v b="$(median "$4" "$5")" -v limit="$6" 'BEGIN {
    if (a == "" || b == "") exit
    r = a / b
    printf "  %-62s %5.2f  (target %s: %s)\n", what, r, limit, r <= limit ? "met" : "not met" }'
}
echo
echo "Targets (issue 16): a time over another, at most the target"
for c in 48k-256.mp3 48k-256.mp2; do
  target "$c: 6 files, quorvan / two ffmpeg at a time" "$c x6" "quorvan, 6 files" "$c x6" "ffmpeg, 2 at a time" 0.85
  target "$c: quorvan 1 thread / ffmpeg" "$c" "quorvan 1 thread" "$c" ffmpeg 0.90
  target "$c: quorvan / ffmpeg" "$c" quorvan "$c" ffmpeg 0.70
done
for c in 44k-192.mp3 44k-vbr.mp3; do
  target "$c: quorvan / mpg123 -t" "$c" quorvan "$c" "mpg123 -t" 0.70
done
if [ -n "$quorvan_exe" ]; then
  for c in "${cases[@]}" "$long"; do
    target "$c: quorvan.exe under wine / quorvan, 1 thread" "$c" "quorvan.exe 1 thread (wine)" "$c" "quorvan 1 thread" 1.2
    target "$c: quorvan.exe under wine / quorvan" "$c" "quorvan.exe (wine)" "$c" quorvan 1.3
  done
fi

# Issue 25's targets. The floor of 32-bit code (i386 over amd64 mpg123 -t)
# scales the Windows build's: one call of the DLL in a Visual C++-ABI host
# under wine over the same call of the Linux library, on one decoder thread at
# most 1.10 times it, with the default threads 1.20 times.
ratio() { awk -v a="$(median "$1" "$2")" -v b="$(median "$3" "$4")" 'BEGIN { if (a != "" && b != "") printf "%.4f", a / b }'; }
echo
echo "Targets (issue 25): a time over another, at most the target"
for c in 48k-256.mp3; do
  target "$c: quorvan 1 thread / ffmpeg" "$c" "quorvan 1 thread" "$c" ffmpeg 0.90
  target "$c: 6 files, quorvan / two ffmpeg at a time" "$c x6" "quorvan, 6 files" "$c x6" "ffmpeg, 2 at a time" 0.85
  target "$c: quorvan (all cores) / ffmpeg" "$c" quorvan "$c" ffmpeg 0.60
done
for c in 44k-192.mp3 44k-vbr.mp3; do
  target "$c: quorvan / mpg123 -t" "$c" quorvan "$c" "mpg123 -t" 0.70
done
if [ -n "$mpg123_i386" ]; then
  for c in "${cases[@]}"; do
    floor=$(ratio "$c" "mpg123 -t (i386)" "$c" "mpg123 -t")
    [ -n "$floor" ] || continue
    printf '  %-62s %5.2f\n' "$c: the 32-bit floor, mpg123 -t i386 / amd64" "$floor"
    [ -n "$call_timer_exe" ] || continue
    target "$c: one call, DLL under wine / Linux, 1 thread" "$c" "call, DLL 1 thread (wine)" "$c" \
      "call, Linux 1 thread" "$(awk -v f="$floor" 'BEGIN { printf "%.2f", 1.10 * f }')"
    target "$c: one call, DLL under wine / Linux, default threads" "$c" "call, DLL (wine)" "$c" "call, Linux" \
      "$(awk -v f="$floor" 'BEGIN { printf "%.2f", 1.20 * f }')"
  done
fi
