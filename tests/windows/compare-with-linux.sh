#!/usr/bin/env bash
# The Windows build against the Linux build, end to end with the real decoder
# modules: the bundled sample and files made here with lame and twolame are
# converted by quorvan.exe under wine and by the Linux quorvan; the two
# WAV files must have the same length and samples within 1 LSB (the i686 and
# x86-64 decoders round a few samples differently). A stream that is resampled
# may differ by 2: the decoders' differences of 1 go through libsoxr's filter,
# whose taps add up to more than 1, and which code paths both builds take
# depends on the machine's processor (2 was seen on an AMD EPYC, 1 on an
# Intel Xeon with AVX-512).
#   compare-with-linux.sh QUORVAN.EXE LINUX_QUORVAN SAMPLE.MP3
set -euo pipefail
windows=$1 linux=$2 sample=$3
if [ ! -x "$linux" ]; then
  echo "no Linux build at $linux: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/sample.mp3"

inputs=(sample.mp3)
if command -v sox >/dev/null; then
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 4 sine 440 sine 1250 gain -3
  if command -v lame >/dev/null; then
    lame --quiet -b 128 "$work/tone.wav" "$work/lame-128.mp3"
    lame --quiet -m m --resample 22.05 -b 32 "$work/tone.wav" "$work/lame-mono-22k.mp3"
    inputs+=(lame-128.mp3 lame-mono-22k.mp3)
  fi
  if command -v twolame >/dev/null; then
    twolame --quiet -b 192 "$work/tone.wav" "$work/twolame-192.mp2"
    inputs+=(twolame-192.mp2)
  fi
fi

status=0
for f in "${inputs[@]}"; do
  base=${f%.*}
  tolerance=1
  case $f in *22k*) tolerance=2 ;; esac
  wine "$windows" -q -o "Z:$work/$base.win.wav" "Z:$work/$f" </dev/null
  "$linux" -q -o "$work/$base.linux.wav" "$work/$f"
  # Same length; every 16-bit sample within 1 (the 44-byte headers equal).
  if ! perl -e '
    local $/; open(my $a, "<:raw", $ARGV[0]) or die; open(my $b, "<:raw", $ARGV[1]) or die;
    my ($x, $y) = (<$a>, <$b>);
    die "lengths differ: " . length($x) . " and " . length($y) . "\n" if length($x) != length($y);
    die "headers differ\n" if substr($x, 0, 44) ne substr($y, 0, 44);
    my @s = unpack("s<*", substr($x, 44)); my @t = unpack("s<*", substr($y, 44));
    my ($max, $off) = (0, 0);
    for my $i (0 .. $#s) { my $d = abs($s[$i] - $t[$i]); $off++ if $d; $max = $d if $d > $max; }
    die "samples differ by up to $max\n" if $max > $ARGV[2];
    printf "%d bytes, %d of %d samples off, by at most %d\n", length($x), $off, scalar @s, $max;
  ' "$work/$base.win.wav" "$work/$base.linux.wav" "$tolerance" > "$work/result" 2>&1; then
    status=1
  fi
  echo "$f: $(cat "$work/result")"
done
exit $status
