#!/usr/bin/env bash
# quorvan.exe under wine, run as a user runs it: a conversion beside the input
# and with -o (drive letters, backslashes), the standard streams (-o - into
# a file and into a pipe), a taken name (exit status 3), an existing
# file left alone without -f, several files with -j 2 in input order, the
# decoder modules' absence in the system's words, a worker killed, Ctrl-C,
# and the exit statuses.
#   cli-under-wine.sh BIN_FOLDER SAMPLE.MP3
set -uo pipefail
bin=$1 sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
run() {  # run ARGS...: sets rc, out, err
  timeout 120 wine "${program:-$bin/quorvan.exe}" "$@" </dev/null >"$work/out" 2>"$work/err"
  rc=$? out=$(tr -d '\r\0' <"$work/out") err=$(tr -d '\r' <"$work/err")
}
win=$(printf 'Z:%s' "$work" | tr / '\\')
cd "$work" && mkdir sub && cp "$sample" 'sub/sample.mp3'

run --frobnicate a.mp3
check "usage error" "2|quorvan: unknown option --frobnicate
Try 'quorvan --help' for more information." "$rc|$err"
run --help
check "help names the DLLs" "0|yes" "$rc|$(grep -q 'ma32.dll and masd32.dll' <<<"$out" && echo yes)"

run 'sub\sample.mp3'
check "converted beside the input" "0|sub\\sample.mp3 -> sub\\samplemp3.wav|" "$rc|$out|$err"
run "$win\\sub\\sample.mp3" -o "$win\\named.wav"
check "-o with a drive letter" "0|$win\\sub\\sample.mp3 -> $win\\named.wav" "$rc|$out"
check "the same audio" "same" "$(cmp -s sub/samplemp3.wav named.wav && echo same)"
run -o - 'sub\sample.mp3'
check "-o - writes the file to the standard output" "0|same" "$rc|$(cmp -s "$work/out" named.wav && echo same)"
timeout 120 wine "$bin/quorvan.exe" -o - 'sub\sample.mp3' </dev/null | cat >piped.wav
check "-o - into a pipe: unknown sizes, the file's other bytes" "ffffffff|ffffffff|same" \
  "$(od -An -tx1 -j4 -N4 piped.wav | tr -d ' ')|$(od -An -tx1 -j40 -N4 piped.wav | tr -d ' ')|$(cmp -s <(tail -c +45 piped.wav) <(tail -c +45 named.wav) && echo same)"
cp sub/sample.mp3 stdin.mp3
timeout 120 wine "$bin/quorvan.exe" - -o - <stdin.mp3 >from-stdin.wav
check "- reads the standard input" "0|same" "$?|$(cmp -s from-stdin.wav named.wav && echo same)"
run 'sub\sample.mp3'
check "a taken name: exit status 3 and the last line" "3|quorvan: 1 of 1 WAV file went to the temporary folder, not beside its input: sub\\sample.mp3 -> " \
  "$rc|$(tail -1 <<<"$err" | sed 's/-> .*/-> /')"
rm -f "$(winepath -u "${out#* -> }" 2>/dev/null)"
echo precious >keep.wav
run 'sub\sample.mp3' -o keep.wav
check "an existing file is left alone" "1|quorvan: sub\\sample.mp3: the WAV file cannot be created (code 4): keep.wav already exists and was left alone (use -f to replace it)|precious" "$rc|$err|$(cat keep.wav)"
run -q -f 'sub\sample.mp3' -o keep.wav
check "-f replaces it" "0||same" "$rc|$out$err|$(cmp -s keep.wav named.wav && echo same)"

# Several at once: lines in input order, the failures said, the name that is
# taken not reused.
head -c 5000 /dev/zero | tr '\0' x >text.mp3
cp "$sample" two.mp2
run -j 2 'sub\sample.mp3' text.mp3 missing.mp3 two.mp2
check "-j 2: exit status" 1 "$rc"
check "-j 2: successes in order" "two.mp2 -> twomp2.wav" "$(grep -v Tmp <<<"$out" | tail -1)"
check "-j 2: the taken name goes to the temporary folder" "sub\\sample.mp3 -> " "$(head -1 <<<"$out" | grep -o '^.* -> ')"
check "-j 2: failures in order, then the file in the temporary folder" "quorvan: sub\\sample.mp3: sub\\samplemp3.wav already exists (-f replaces it), so the WAV file went to
quorvan: text.mp3: no MPEG audio found in the file (code 9)
quorvan: missing.mp3: the input file cannot be opened (code 1): 
quorvan: 1 of 4 WAV files went to" "$(sed -e 's/went to .*/went to/' -e 's/(code 1): .*/(code 1): /' <<<"$err")"
moved=$(head -1 <<<"$out")
moved=$(winepath -u "${moved#* -> }" 2>/dev/null)
check "-j 2: both converted" "same|same" "$(cmp -s twomp2.wav named.wav && echo same)|$(cmp -s "$moved" named.wav && echo same)"
rm -f "$moved"

# Without the modules beside it (nor anywhere else), every file fails with
# the system's reason for each.
mkdir alone && cp "$bin"/quorvan.exe "$bin"/Quorvan.dll "$bin"/qvafx.dll "$bin"/lib*.dll alone/
cp "$sample" alone/a.mp3
cd alone && program=./quorvan.exe run a.mp3
cd "$work"
reason=$(sed -n 's/^quorvan: a\.mp3: .*(code 7): ma32\.dll: \([^;]*\); masd32\.dll: \(.*\)$/\1|\2/p' <<<"$err")
check "no modules: code 7 and the system's words for each" "1|yes" "$rc|$([ -n "${reason%%|*}" ] && [ "${reason%%|*}" = "${reason#*|}" ] && echo yes)"

# A worker that dies mid-job fails that job alone; a new one takes the next.
for i in $(seq 1000); do cat "$sample"; done >long.mp3
rm -f twomp2.wav
timeout 120 wine "$bin/quorvan.exe" -j 1 long.mp3 two.mp2 </dev/null >"$work/out" 2>"$work/err" &
waiter=$!
for i in $(seq 200); do [ -s longmp3.wav ] && break; sleep 0.05; done
kill -KILL "$(pgrep -f -n -- "--worker-of=[0-9]")"
wait $waiter
check "a worker killed" "1|quorvan: long.mp3: the conversion ended its process without a result|two.mp2 -> twomp2.wav|gone" \
  "$?|$(tr -d '\r' <"$work/err" | sed 's/ (exit status .*//')|$(tr -d '\r' <"$work/out")|$([ -e longmp3.wav ] || echo gone)"

# Ctrl-C (wine turns SIGINT into the console's Ctrl-C): 130, the unfinished
# file removed, every file not done said.
timeout 120 wine "$bin/quorvan.exe" -j 1 long.mp3 two.mp2 </dev/null >"$work/out" 2>"$work/err" &
waiter=$!
for i in $(seq 200); do [ -s longmp3.wav ] && break; sleep 0.05; done
sleep 0.3
kill -INT "$(pgrep -f -n "^$bin/quorvan.exe -j 1 long.mp3")"
wait $waiter
rc=$?
check "Ctrl-C" "130|quorvan: long.mp3: not converted: the run was stopped (Ctrl-C)
quorvan: two.mp2: not converted: the run was stopped (Ctrl-C)|gone" "$rc|$(tr -d '\r' <"$work/err")|$([ -e longmp3.wav ] || echo gone)"

echo "$failures failed"
[ $failures -eq 0 ]
