#!/usr/bin/env bash
# THIRD-PARTY-NOTICES.txt against what the build links. For each binary named
# BINARY=FILE, its "[Linux] BINARY" or "[Windows] BINARY" block must name
# exactly the libraries the binary links:
#   linux NOTICES READELF BINARY=FILE...
#     the shared libraries FILE needs (its NEEDED entries; Quorvan's own
#     libraries are not third-party);
#   windows NOTICES ZIP CMAKE DEPS_PREFIX BINARY=LINK_MAP...
#     the static libraries and start-up objects the linker's map says went
#     into BINARY (import libraries of DLLs that Windows ships and Quorvan's
#     own archives are left out), each at the version the notices give: the
#     pkg-config version of the cross-built libmpg123 and libsoxr in
#     DEPS_PREFIX, the Debian package's for the toolchain's libraries (when
#     dpkg is there to ask). ZIP must carry the notices and LICENSE.txt as in
#     the source tree, and every licence text the notices name.
set -uo pipefail
mode=$1 notices=$2
shift 2
problems=""
problem() { problems+="  $*"$'\n'; }

# The block of BINARY in the notices: "NAME VERSION LINKED" lines.
notice_block() {
  awk -v head="[$1] $2" '$0 == head { on = 1; next } on && /^$/ { exit } on { print $1, $2, $3 }' "$notices"
}
# Compares the names the notices give BINARY with the names LINKED (one a line).
compare() {
  local what=$1 binary=$2 linked=$3 listed name
  listed=$(notice_block "$what" "$binary" | awk '{ print $1 }' | sort -u)
  grep -qxF "[$what] $binary" "$notices" || { problem "$binary: no [$what] $binary block in the notices"; return; }
  for name in $(comm -23 <(sort -u <<<"$linked") <(echo "$listed")); do
    problem "$binary links $name, which the notices do not name"
  done
  for name in $(comm -13 <(sort -u <<<"$linked") <(echo "$listed")); do
    problem "the notices name $name for $binary, which it does not link"
  done
}

case $mode in
linux)
  readelf=$1
  shift
  for arg in "$@"; do
    binary=${arg%%=*} file=${arg#*=}
    needed=$("$readelf" -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p') || { problem "cannot read $file"; continue; }
    linked=""
    for lib in $needed; do
      case $lib in
        libQuorvan.so.* | libqvafx.so.*) ;;  # our own
        libc.so.* | libm.so.* | ld-linux*.so.* | libpthread.so.* | libdl.so.*) linked+="glibc"$'\n' ;;
        libstdc++.so.*) linked+="libstdc++"$'\n' ;;
        libgcc_s.so.*) linked+="libgcc"$'\n' ;;
        libmpg123.so.*) linked+="libmpg123"$'\n' ;;
        libsoxr.so.*) linked+="libsoxr"$'\n' ;;
        *) problem "$binary needs $lib, which this check does not know: name it in the notices and here" ;;
      esac
    done
    compare Linux "$binary" "$(sed '/^$/d' <<<"$linked")"
    while read -r name _ linkage; do
      [ "$linkage" = dynamic ] || problem "$binary: $name is linked dynamically"
    done < <(notice_block Linux "$binary")
  done
  ;;
windows)
  zip=$1 cmake=$2 deps=$3
  shift 3
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && "$cmake" -E tar xf "$zip") || { echo "FAILED: cannot unpack $zip"; exit 1; }
  cmp -s "$work/THIRD-PARTY-NOTICES.txt" "$notices" || problem "the zip's THIRD-PARTY-NOTICES.txt is not the source tree's"
  cmp -s "$work/LICENSE.txt" "$(dirname "$notices")/LICENSE" || problem "the zip's LICENSE.txt is not the source tree's LICENSE"
  for text in $(grep -E '^  [^ ]+ +[^ ]+ +(static|dynamic) ' "$notices" | grep -o '([A-Z][A-Za-z0-9.-]*)' | tr -d '()' | sort -u); do
    [ -s "$work/$text.txt" ] || problem "the notices name the licence $text; the zip has no $text.txt"
  done
  declare -A package_version=()
  for arg in "$@"; do
    binary=${arg%%=*} map=${arg#*=}
    [ -f "$map" ] || { problem "$binary: no linker map $map"; continue; }
    # Archive members the linker took ("path/libX.a(member.o)" at the start of
    # a line of the map's first part), and the start-up objects it loaded.
    inputs=$( { sed -n '/^Archive member included/,/^Discarded input sections/p' "$map" |
                  sed -n 's/^\([^ ()][^ ()]*\.a\)(.*/\1/p'
                sed -n 's/^LOAD \(.*\.o\)$/\1/p' "$map" | grep -v "^[^/]" ; } | sort -u)
    linked="" versions=""
    while read -r input; do
      [ -n "$input" ] || continue
      name=""
      case $(basename "$input") in
        libmpg123.a) name=libmpg123 ;;
        libsoxr.a) name=libsoxr ;;
        libstdc++.a) name=libstdc++ ;;
        libgcc.a | libgcc_eh.a | crtbegin.o | crtend.o) name=libgcc ;;
        libssp.a | libssp_nonshared.a) name=libssp ;;
        libwinpthread.a | libpthread.a) name=winpthreads ;;
        libmingw32.a | libmingwex.a | libmoldname.a | libmsvcrt.a | crt2.o | dllcrt2.o) name=mingw-w64-crt ;;
        libkernel32.a | libuser32.a | libadvapi32.a | libshlwapi.a | libwinmm.a | libmfc42.a) ;;  # Windows' own DLLs
        libquorvan_*.a | libqvafx.a | libQuorvan.dll.a) ;;  # ours
        *) problem "$binary: the linker took $input, which this check does not know: name it in the notices and here" ;;
      esac
      [ -n "$name" ] || continue
      linked+="$name"$'\n'
      # The version it came in.
      version=""
      case $name in
        libmpg123) version=$(sed -n 's/^Version: *//p' "$deps/lib/pkgconfig/libmpg123.pc") ;;
        libsoxr) version=$(sed -n 's/^Version: *//p' "$deps/lib/pkgconfig/soxr.pc") ;;
        *) if command -v dpkg-query >/dev/null; then
             if [ -z "${package_version[$input]+set}" ]; then
               pkg=$(dpkg -S "$(readlink -f "$input")" 2>/dev/null | head -1 | cut -d: -f1)
               package_version[$input]=$([ -z "$pkg" ] || dpkg-query -W -f='${Version}' "$pkg")
             fi
             version=${package_version[$input]}
           fi ;;
      esac
      [ -z "$version" ] || versions+="$name $version"$'\n'
    done <<<"$inputs"
    compare Windows "$binary" "$(sed '/^$/d' <<<"$linked")"
    # Each named version: the Debian version of the package, or (libmpg123's
    # .pc gives the upstream one) the version the Debian one starts with.
    while read -r name version linkage; do
      [ "$linkage" = static ] || problem "$binary: $name is linked statically"
      while read -r n v; do
        [ "$n" = "$name" ] || continue
        case $version in "$v" | "$v"-*) ;; *) problem "$binary: the notices give $name $version; the build linked $v" ;; esac
      done < <(sed '/^$/d' <<<"$versions" | sort -u)
    done < <(notice_block Windows "$binary")
  done
  ;;
*)
  echo "usage: check-notices.sh linux|windows NOTICES ..." >&2
  exit 2
  ;;
esac

if [ -n "$problems" ]; then
  printf 'FAILED: THIRD-PARTY-NOTICES.txt and the build disagree:\n%s' "$problems"
  exit 1
fi
echo "THIRD-PARTY-NOTICES.txt names what the $mode binaries link ($# binaries)"
