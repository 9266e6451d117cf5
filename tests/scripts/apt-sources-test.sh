#!/usr/bin/env bash
# scripts/apt-sources.sh on fixture folders laid out as /etc/apt: the
# one-line sources.list that debootstrap writes, deb822 .sources files, both
# at once, sources.list.d/*.list, and none; the archive found in each, and the
# message when there is none.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/apt-sources.sh
source "$here/../../scripts/apt-sources.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
fixture() {  # fixture NAME: a fresh folder, in APT_ETC
  APT_ETC=$work/$1
  mkdir -p "$APT_ETC/sources.list.d"
}

fixture one-line
cat >"$APT_ETC/sources.list" <<'END'
# written by debootstrap
deb http://deb.debian.org/debian-security bookworm-security main
deb-src http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm main contrib   # a comment
deb http://deb.debian.org/debian bookworm-updates main
END
check "one-line sources.list" "http://deb.debian.org/debian bookworm" "$(apt_archive)"
check "one-line entries" "4" "$(apt_source_entries | wc -l)"

fixture options
echo 'deb [arch=amd64 signed-by=/usr/share/keyrings/k.gpg] http://mirror.example/debian bookworm main' >"$APT_ETC/sources.list"
check "options in brackets" "http://mirror.example/debian bookworm" "$(apt_archive)"
check "signed-by of the entry" "/usr/share/keyrings/k.gpg" "$(apt_archive_signed_by http://mirror.example/debian bookworm)"

fixture deb822
cat >"$APT_ETC/sources.list.d/debian.sources" <<'END'
Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main

# switched off, and so never the archive
Types: deb
URIs: http://old.example/debian
Suites: bookworm
Enabled: no

Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
END
check "deb822 .sources" "http://deb.debian.org/debian bookworm" "$(apt_archive)"
check "deb822: every type and suite" "4" "$(apt_source_entries | grep -c 'deb.debian.org/debian ')"
check "deb822 signed-by" "/usr/share/keyrings/debian-archive-keyring.gpg" \
  "$(apt_archive_signed_by http://deb.debian.org/debian bookworm)"

fixture list-d
printf 'deb http://ftp.example/debian bookworm main\n' >"$APT_ETC/sources.list.d/mirror.list"
check "sources.list.d/*.list" "http://ftp.example/debian bookworm" "$(apt_archive)"

fixture both
printf 'deb http://deb.debian.org/debian-security bookworm-security main\n' >"$APT_ETC/sources.list"
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
  >"$APT_ETC/sources.list.d/debian.sources"
check "both formats: the archive from whichever has it" "http://deb.debian.org/debian bookworm" "$(apt_archive)"

fixture none
printf 'deb http://deb.debian.org/debian-security bookworm-security main\n' >"$APT_ETC/sources.list"
message=$(apt_archive 2>&1 >/dev/null)
check "no archive: fails" "1" "$(apt_archive >/dev/null 2>&1; echo $?)"
check "no archive: says where it looked and what to do" "yes|yes|yes" \
  "$(grep -q "$APT_ETC/sources.list.d/\*.sources" <<<"$message" && echo yes)|$(grep -q "$APT_ETC/sources.list " <<<"$message" && echo yes)|$(grep -q "Add one" <<<"$message" && echo yes)"
rm -rf "$APT_ETC"
check "no apt folder at all: fails too" "1" "$(apt_archive >/dev/null 2>&1; echo $?)"

# Run on its own, under set -e and pipefail as the scripts that source it are.
check "as a program" "http://deb.debian.org/debian bookworm" "$("$here/../../scripts/apt-sources.sh" "$work/deb822")"

echo "$failures failed"
[ "$failures" -eq 0 ]
