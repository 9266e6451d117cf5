#!/usr/bin/env bash
# Where this machine gets its Debian packages from, as apt is configured: the
# one-line entries of sources.list and sources.list.d/*.list, and the deb822
# stanzas of sources.list.d/*.sources, in any mix. Sourced by the scripts that
# need the archive (scripts/win32-deps.sh for deb-src, the package test for
# debootstrap's mirror); run on its own it prints the archive.
#   scripts/apt-sources.sh [APT_ETC]   prints "URI SUITE" (default APT_ETC: /etc/apt)
# Functions (APT_ETC may point at another folder laid out as /etc/apt):
#   apt_source_entries   one line per entry: TYPE URI SUITE [SIGNED_BY]
#   apt_archive          "URI SUITE" of the first Debian archive (deb, not security, not -updates)
#   apt_ensure_deb_src   adds a deb-src entry for that archive unless source packages are found
#   apt_update           apt-get update; an index that could not be fetched is a warning
#   apt_install PKG...   apt-get install, once more preferring the archive's own release if that fails

apt_sources_etc() { echo "${APT_ETC:-/etc/apt}"; }

# One-line format: "deb [opt=val ...] URI SUITE COMPONENT...", comments after #.
apt_one_line_entries() {
  awk '
    { sub(/#.*/, "") }
    $1 == "deb" || $1 == "deb-src" {
      type = $1; i = 2; signed = ""
      if ($2 ~ /^\[/) {                       # options, up to the word that ends in ]
        for (; i <= NF; i++) {
          w = $i; gsub(/[\[\]]/, "", w)
          if (w ~ /^signed-by=/) { signed = substr(w, 11) }
          if ($i ~ /\]$/) { i++; break }
        }
      }
      if (i + 1 <= NF) print type, $i, $(i + 1), signed
    }' "$@"
}

# deb822 format: stanzas separated by blank lines; Types, URIs and Suites may
# list several words, each combination is an entry; "Enabled: no" turns one off.
apt_deb822_entries() {
  awk '
    function flush(   t, u, s, nt, nu, ns, T, U, S) {
      if (types != "" && uris != "" && suites != "" && tolower(enabled) != "no") {
        nt = split(types, T, " "); nu = split(uris, U, " "); ns = split(suites, S, " ")
        for (t = 1; t <= nt; t++) for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
          print T[t], U[u], S[s], signed
      }
      types = uris = suites = signed = enabled = ""; field = ""
    }
    FNR == 1 { flush() }
    /^[[:space:]]*#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    /^[[:space:]]/ { next }                    # a continued field (a key block, say)
    {
      key = tolower($1); sub(/:$/, "", key); value = $0; sub(/^[^:]*:[[:space:]]*/, "", value)
      if (key == "types") types = value
      else if (key == "uris") uris = value
      else if (key == "suites") suites = value
      else if (key == "enabled") enabled = value
      else if (key == "signed-by" && value !~ /^-----/) signed = value
    }
    END { flush() }' "$@"
}

apt_source_entries() {
  local etc one=() deb822=() f
  etc=$(apt_sources_etc)
  [ -f "$etc/sources.list" ] && one+=("$etc/sources.list")
  for f in "$etc"/sources.list.d/*.list; do [ -f "$f" ] && one+=("$f"); done
  for f in "$etc"/sources.list.d/*.sources; do [ -f "$f" ] && deb822+=("$f"); done
  [ ${#one[@]} -eq 0 ] || apt_one_line_entries "${one[@]}"
  [ ${#deb822[@]} -eq 0 ] || apt_deb822_entries "${deb822[@]}"
}

# The archive the machine's own packages come from: the first "deb" entry that
# is neither a security archive nor an -updates/-backports suite.
apt_archive() {
  local etc found
  etc=$(apt_sources_etc)
  found=$(apt_source_entries | awk '$1 == "deb" && $2 !~ /security/ && $3 !~ /-(security|updates|backports)$/ { print $2, $3; exit }')
  if [ -z "$found" ]; then
    {
      echo "apt-sources: no Debian archive found: looked for a 'deb' entry (not security, not -updates)"
      echo "  in $etc/sources.list and $etc/sources.list.d/*.list (one-line format)"
      echo "  and in $etc/sources.list.d/*.sources (deb822 format)."
      echo "  Add one, e.g. the line 'deb http://deb.debian.org/debian bookworm main' to $etc/sources.list,"
      echo "  then run apt-get update."
    } >&2
    return 1
  fi
  echo "$found"
}

# The Signed-By of the archive's entry, if it has one.
apt_archive_signed_by() {
  apt_source_entries | awk -v uri="$1" -v suite="$2" '$1 == "deb" && $2 == uri && $3 == suite && $4 != "" { print $4; exit }'
}

# Whether apt knows the source package (read whole: no early end under pipefail).
apt_has_source() {
  local text
  text=$(apt-cache showsrc "$1" 2>/dev/null) || true
  grep -qx "Package: $1" <<<"$text"
}

# Source packages (deb-src) for the machine's archive, so that they come from
# where its binary packages do. Needs root when it has to add the entry.
apt_ensure_deb_src() {
  local probe=${1:-mpg123} etc list archive uri suite signed
  apt_has_source "$probe" && return 0
  etc=$(apt_sources_etc)
  archive=$(apt_archive) || return 1
  read -r uri suite <<<"$archive"
  signed=$(apt_archive_signed_by "$uri" "$suite")
  list=$etc/sources.list.d/quorvan-deb-src.sources
  echo "apt-sources: adding deb-src for $uri ($suite) in $list" >&2
  {
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suite"
    [ -z "$signed" ] || printf 'Signed-By: %s\n' "$signed"
  } >"$list" || { echo "apt-sources: cannot write $list (run as root)" >&2; return 1; }
  apt_update
  apt_has_source "$probe" ||
    { echo "apt-sources: $uri ($suite) offers no source package $probe (see $list)" >&2; return 1; }
}

# Refreshes the package lists (root). A mirror caught mid-sync serves an index
# that does not match its Release file: apt-get update then fails although it
# has every other list, and keeps the old copy of that one. What is installed
# next says whether a package is really missing, so this only warns.
apt_update() {
  apt-get update -qq ||
    echo "apt-sources: apt-get update reported errors (above); going on with the package lists apt has" >&2
}

# Installs packages (root). Another architecture's packages (i386 beside
# amd64) must come in the very versions the machine's own have; when one
# archive's index for that architecture could not be fetched (a mirror caught
# mid-sync, say), apt's candidates differ between the two and it refuses. The
# second try prefers the release itself, whose versions both architectures
# have, over the security and update suites.
apt_install() {
  local archive suite
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  archive=$(apt_archive) || return 1
  read -r _ suite <<<"$archive"
  echo "apt-sources: installing again, preferring $suite's own versions" >&2
  apt-get -o DPkg::Lock::Timeout=600 -o APT::Default-Release="$suite" \
    install -y -qq --no-install-recommends "$@" >/dev/null
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -eq 0 ] || APT_ETC=$1
  apt_archive
fi
