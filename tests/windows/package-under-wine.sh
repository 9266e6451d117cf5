#!/usr/bin/env bash
# The Windows package as a user gets it: the zip unpacked into a fresh folder,
# with nothing in its bin/ but the package's binaries and the stand-in of
# Windows' own MFC42.DLL, and no other folder on wine's search path. It must
# hold exactly its files (the SDK's, the licence and the notices); its binaries must import only
# DLLs that Windows ships; quorvan.exe must convert in bin/, to the bytes the
# build's own quorvan.exe writes; and so must each host program given, run
# from bin/ beside the library (the hosts built against the unpacked SDK, and
# the Visual C++ host of examples/win32-host).
#   package-under-wine.sh ZIP MFC42_STANDIN CMAKE OBJDUMP SAMPLE.MP3 BUILD_QUORVAN_EXE [HOST_EXE...]
set -uo pipefail
zip=$1 standin=$2 cmake=$3 objdump=$4 sample=$5 built=$6
shift 6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

# Every file of the package, and nothing else.
expected="GPL-3.txt
LGPL-2.1.txt
LICENSE.txt
README.txt
THIRD-PARTY-NOTICES.txt
bin/Quorvan.dll
bin/ma32.dll
bin/masd32.dll
bin/quorvan.exe
examples/win32-host/README.md
examples/win32-host/host.cpp
include/Quorvan.h
lib/Quorvan.def
lib/Quorvan.lib
lib/libQuorvan.dll.a"

mkdir "$work/pkg" "$work/ref"
(cd "$work/pkg" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"
listing=$(cd "$work/pkg" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$listing" = "$(LC_ALL=C sort <<<"$expected")" ] || fail "the zip holds:
$listing"
bin=$work/pkg/bin

"$cmake" -DOBJDUMP="$objdump" \
  "-DFILES=$bin/Quorvan.dll|$bin/ma32.dll|$bin/masd32.dll|$bin/quorvan.exe" \
  -P "$here/CheckImportsPE.cmake" || fail "imports"

cp "$standin" "$bin/MFC42.DLL"
cp "$sample" "$bin/sample.mp3"
cp "$sample" "$work/ref/sample.mp3"
# The build's own command, with the stand-in on the search path as the suite
# runs it, gives the reference.
(cd "$work/ref" && timeout 120 wine "$built" sample.mp3 -o ref.wav </dev/null >/dev/null 2>"$work/ref.err") ||
  fail "the build's quorvan.exe: $(cat "$work/ref.err")"

export WINEPATH=""
(cd "$bin" && timeout 120 wine quorvan.exe sample.mp3 </dev/null >"$work/out" 2>"$work/err")
rc=$?
[ $rc -eq 0 ] || fail "the packaged quorvan.exe exited $rc: $(cat "$work/err")"
cmp "$work/ref/ref.wav" "$bin/samplemp3.wav" || fail "the packaged quorvan.exe wrote other bytes"
! grep -q "MFC42 stand-in" "$work/err" || fail "the stand-in saw: $(cat "$work/err")"
echo "the packaged quorvan.exe converts: $(tr -d '\r' <"$work/out")"

# Each host prints the name the library chose; the stand-in's lines mean a
# fault or a buffer left at exit.
for host in "$@"; do
  name=$(basename "$host")
  cp "$host" "$bin/"
  rm -f "$bin/samplemp3.wav"
  (cd "$bin" && timeout 120 wine "$name" sample.mp3 </dev/null >"$work/out" 2>"$work/err")
  rc=$?
  [ $rc -eq 0 ] || fail "$name exited $rc: $(cat "$work/out" "$work/err")"
  cmp "$work/ref/ref.wav" "$bin/samplemp3.wav" || fail "the WAV file of $name differs"
  ! grep -q "MFC42 stand-in" "$work/err" || fail "the stand-in saw, with $name: $(cat "$work/err")"
  grep -q 'samplemp3\.wav' "$work/out" || fail "$name printed: $(cat "$work/out")"
  echo "$name converts through the packaged DLL"
  rm -f "$bin/$name"
done
