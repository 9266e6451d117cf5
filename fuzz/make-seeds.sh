#!/usr/bin/env bash
# Makes the fuzzers' seed inputs in DIR with Debian's encoders: short streams
# of every MPEG version and the layers they encode (II and III; Layer I comes
# from the conformance streams), every channel mode, CBR, VBR, ABR, free
# format, CRC, ID3v1, ID3v2 and APE tags, and a few joined or cut ones. The
# conformance streams of the shared test data are added when present.
#   fuzz/make-seeds.sh DIR [TESTDATA_DIR]
set -uo pipefail

out=$1
testdata=${2:-}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sources: a tone pair, short, at every rate the encoders are asked for.
for rate in 8000 11025 12000 16000 22050 24000 32000 44100 48000; do
  sox -q -n -r $rate -c 2 -b 16 "$work/s$rate.wav" synth 0.3 sine 440 sine 1250 vol 0.5 2>/dev/null
  sox -q -n -r $rate -c 1 -b 16 "$work/m$rate.wav" synth 0.3 sine 600 vol 0.5 2>/dev/null
done

n=0
seed() {  # seed NAME COMMAND... (the command writes $work/o)
  local name=$1; shift
  rm -f "$work/o"
  if "$@" >/dev/null 2>&1 && [ -s "$work/o" ]; then
    cp "$work/o" "$out/$name"
    n=$((n + 1))
  fi
}

# Layer III with lame: MPEG-1, 2 and 2.5, each mode, CBR/VBR/ABR, CRC, free
# format, no Xing frame, tags.
for rate in 8000 11025 22050 24000 32000 44100 48000; do
  seed l3-cbr-s-$rate   lame --silent -m s -b 64 "$work/s$rate.wav" "$work/o"
  seed l3-cbr-j-$rate   lame --silent -m j -b 32 "$work/s$rate.wav" "$work/o"
  seed l3-cbr-m-$rate   lame --silent -m m -b 32 "$work/m$rate.wav" "$work/o"
  seed l3-vbr-$rate     lame --silent -V 4 "$work/s$rate.wav" "$work/o"
  seed l3-abr-crc-$rate lame --silent --abr 48 -p "$work/s$rate.wav" "$work/o"
done
seed l3-dual      lame --silent -m d -b 128 "$work/s44100.wav" "$work/o"
seed l3-force-ms  lame --silent -m f -b 96 "$work/s44100.wav" "$work/o"
seed l3-free      lame --silent --freeformat -b 200 "$work/s44100.wav" "$work/o"
seed l3-free-lsf  lame --silent --freeformat -b 100 "$work/s22050.wav" "$work/o"
seed l3-no-xing   lame --silent -t -b 128 "$work/s44100.wav" "$work/o"
seed l3-id3v1     lame --silent --id3v1-only --tt title --ta artist -b 64 "$work/s44100.wav" "$work/o"
seed l3-id3v2     lame --silent --id3v2-only --tt title --tc comment -b 64 "$work/s44100.wav" "$work/o"
seed l3-id3-both  lame --silent --add-id3v2 --tt title --tg Rock -b 64 "$work/m32000.wav" "$work/o"

# Layer II with twolame (MPEG-1 and the half rates of MPEG-2).
for rate in 16000 22050 24000 32000 44100 48000; do
  seed l2-s-$rate   twolame --quiet -m s -b 96 "$work/s$rate.wav" "$work/o"
  seed l2-j-$rate   twolame --quiet -m j -b 64 "$work/s$rate.wav" "$work/o"
  seed l2-m-$rate   twolame --quiet -m m -b 48 "$work/m$rate.wav" "$work/o"
done
seed l2-dual      twolame --quiet -m d -b 192 "$work/s44100.wav" "$work/o"
seed l2-crc       twolame --quiet -p -b 128 "$work/s44100.wav" "$work/o"
seed l2-vbr       twolame --quiet -V 0 "$work/s44100.wav" "$work/o"
seed l2-padded    twolame --quiet --padding -b 128 "$work/s44100.wav" "$work/o"

# ffmpeg's own Layer II encoder and its tag writer; sox through its codecs.
seed ff-mp2-44    ffmpeg -nostdin -loglevel error -i "$work/s44100.wav" -c:a mp2 -b:a 128k -f mp2 "$work/o"
seed ff-mp2-24    ffmpeg -nostdin -loglevel error -i "$work/s24000.wav" -c:a mp2 -b:a 64k -f mp2 "$work/o"
seed ff-mp3-id3v3 ffmpeg -nostdin -loglevel error -i "$work/s44100.wav" -c:a libmp3lame -b:a 96k \
                     -id3v2_version 3 -metadata title=t -write_id3v1 1 -f mp3 "$work/o"
seed ff-mp3-id3v4 ffmpeg -nostdin -loglevel error -i "$work/m16000.wav" -c:a libmp3lame -q:a 5 \
                     -id3v2_version 4 -metadata artist=a -f mp3 "$work/o"
seed sox-mp3      sox -q "$work/s48000.wav" -t mp3 -C 128 "$work/o"
seed sox-mp2      sox -q "$work/s32000.wav" -t mp2 "$work/o"

# An APEv2 tag after the audio: one item ("Title" = "hello") and the footer.
ape() {
  printf '\x05\x00\x00\x00\x00\x00\x00\x00Title\x00hello'
  printf 'APETAGEX\xd0\x07\x00\x00\x33\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00'
}
if [ -s "$out/l3-cbr-s-44100" ]; then
  { cat "$out/l3-cbr-s-44100"; ape; } > "$out/l3-ape" && n=$((n + 1))
  # Joined streams, a cut one and one behind junk.
  cat "$out/l3-cbr-s-44100" "$out/l2-s-44100" > "$out/joined-l3-l2" 2>/dev/null && n=$((n + 1))
  head -c 1500 "$out/l3-vbr-44100" > "$out/cut-vbr" && n=$((n + 1))
  { head -c 700 /dev/urandom | tr -d '\377'; cat "$out/l3-cbr-j-22050"; } > "$out/junk-first" && n=$((n + 1))
fi

if [ -n "$testdata" ] && [ -d "$testdata/conformance" ]; then
  while IFS= read -r f; do
    cp "$f" "$out/conformance-$(basename "$f")" && n=$((n + 1))
  done < <(find "$testdata/conformance" -type f ! -name '*.pcm' ! -name '*.md' ! -name '*.wav')
fi
echo "$n seeds in $out"
