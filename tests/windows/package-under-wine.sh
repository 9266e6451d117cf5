#!/usr/bin/env bash
# The Windows package as a user gets it: the zip unpacked into a fresh folder
# that holds nothing else but the stand-in of Windows' own MFC42.DLL, with no
# other folder on wine's search path. It must hold exactly its files (the
# binaries, README.txt, the licence and notices);
# its binaries must import only DLLs that Windows ships; quorvan.exe must
# convert there, to the bytes the build's own quorvan.exe writes; and a host
# built with Visual C++'s ABI (when given) must convert through its DLL.
#   package-under-wine.sh ZIP MFC42_STANDIN CMAKE OBJDUMP SAMPLE.MP3 BUILD_QUORVAN_EXE [VC_HOST_EXE]
set -uo pipefail
zip=$1 standin=$2 cmake=$3 objdump=$4 sample=$5 built=$6 host=${7:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

mkdir "$work/pkg" "$work/ref"
(cd "$work/pkg" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"
listing=$(cd "$work/pkg" && ls | sort | tr '\n' ' ')
[ "$listing" = "GPL-3.txt LGPL-2.1.txt LICENSE.txt Quorvan.dll README.txt THIRD-PARTY-NOTICES.txt ma32.dll masd32.dll quorvan.exe " ] ||
  fail "the zip holds: $listing"

"$cmake" -DOBJDUMP="$objdump" \
  "-DFILES=$work/pkg/Quorvan.dll|$work/pkg/ma32.dll|$work/pkg/masd32.dll|$work/pkg/quorvan.exe" \
  -P "$here/CheckImportsPE.cmake" || fail "imports"

cp "$standin" "$work/pkg/MFC42.DLL"
cp "$sample" "$work/pkg/sample.mp3"
cp "$sample" "$work/ref/sample.mp3"
# The build's own command, with the stand-in on the search path as the suite
# runs it, gives the reference.
(cd "$work/ref" && timeout 120 wine "$built" sample.mp3 -o ref.wav </dev/null >/dev/null 2>"$work/ref.err") ||
  fail "the build's quorvan.exe: $(cat "$work/ref.err")"

export WINEPATH=""
(cd "$work/pkg" && timeout 120 wine quorvan.exe sample.mp3 </dev/null >"$work/out" 2>"$work/err")
rc=$?
[ $rc -eq 0 ] || fail "the packaged quorvan.exe exited $rc: $(cat "$work/err")"
cmp "$work/ref/ref.wav" "$work/pkg/samplemp3.wav" || fail "the packaged quorvan.exe wrote other bytes"
! grep -q "MFC42 stand-in" "$work/err" || fail "the stand-in saw: $(cat "$work/err")"
echo "the packaged quorvan.exe converts: $(tr -d '\r' <"$work/out")"

if [ -n "$host" ]; then
  cp "$host" "$work/pkg/"
  rm -f "$work/pkg/samplemp3.wav"
  (cd "$work/pkg" && timeout 120 wine "$(basename "$host")" sample.mp3 </dev/null >"$work/out" 2>"$work/err")
  rc=$?
  [ $rc -eq 0 ] || fail "the Visual C++ host exited $rc: $(cat "$work/out" "$work/err")"
  cmp "$work/ref/ref.wav" "$work/pkg/samplemp3.wav" || fail "the Visual C++ host's WAV differs"
  echo "the Visual C++ host converts through the packaged DLL"
fi
