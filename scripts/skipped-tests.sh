#!/usr/bin/env bash
# Says why each skipped test of the last ctest run was skipped, then one line
# per reason with its count. ctest shows only "(Skipped)"; the reasons are in
# its log: a GoogleTest skip's message, or a script's last line before exit 77.
#   scripts/skipped-tests.sh BUILD_DIR CTEST_OUTPUT   (what ctest printed)
set -euo pipefail
build=$1
output=$2
log=$build/Testing/Temporary/LastTest.log
[ -f "$log" ] && [ -f "$output" ] || exit 0

# "  12 - decoders.Foo.Bar (Skipped)" in ctest's list of the tests that did not run.
mapfile -t skipped < <(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$output")
[ ${#skipped[@]} -gt 0 ] || exit 0

reasons=$(awk -v names="$(printf '%s\n' "${skipped[@]}")" '
  BEGIN { n = split(names, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
  /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); inside = 0; reason = ""; last = ""; next }
  /^Output:$/ { inside = 1; next }
  inside && /^<end of output>$/ {
    inside = 0
    if (name in wanted) print name "\t" (reason != "" ? reason : (last != "" ? last : "no reason given"))
    next
  }
  inside && /: Skipped$/ { take = 1; next }
  inside && /^\[  SKIPPED \]/ { take = 0 }
  inside && take && /[^[:space:]]/ { reason = (reason == "" ? $0 : reason " " $0) }
  inside && /[^[:space:]]/ && $0 !~ /^-+$/ { last = $0 }
' "$log" | sed 's/[[:space:]]*$//')

while IFS=$'\t' read -r name reason; do
  echo "skipped: $name: $reason"
done <<<"$reasons"
cut -f2 <<<"$reasons" | sort | uniq -c | sort -rn | while read -r count reason; do
  echo "$count skipped: $reason"
done
