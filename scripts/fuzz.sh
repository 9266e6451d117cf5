#!/usr/bin/env bash
# Builds the two fuzz targets with clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer and libFuzzer in build-fuzz/, makes seeds with Debian's encoders
# (plus the conformance streams of ../shared/testdata when present), and runs
# each target for FUZZ_SECONDS (default 60). Any crash, contract violation,
# leak, timeout or memory blow-up fails the script; the input is left in
# build-fuzz/artifacts/, to be kept in fuzz/regressions/.
#   scripts/fuzz.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-fuzz
seconds=${FUZZ_SECONDS:-60}

QUORVAN_SCRIPT=${QUORVAN_SCRIPT:-scripts/fuzz.sh} CC=clang CXX=clang++ QUORVAN_EXTRA_PACKAGES="clang libclang-rt-14-dev" \
  QUORVAN_BUILD_TARGETS="fuzz_module fuzz_convert" \
  "$root/scripts/setup.sh" "$build" -DQUORVAN_FUZZ=ON \
  -DQUORVAN_BUILD_TESTS=OFF -DQUORVAN_BUILD_TOOLS=OFF -DQUORVAN_BUILD_BENCH=OFF

rm -rf "$build/seeds" "$build/artifacts"
mkdir -p "$build/artifacts"
"$root/fuzz/make-seeds.sh" "$build/seeds" "$root/../shared/testdata"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in fuzz_module fuzz_convert; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  if ! "$build/fuzz/$target" "$corpus" "$build/seeds" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 -close_fd_mask=1 \
       -artifact_prefix="$build/artifacts/$target-" 2>"$build/$target.log"; then
    status=1
    tail -n 60 "$build/$target.log"
    echo "$target FAILED: the input is in $build/artifacts/; keep it in fuzz/regressions/"
  fi
  # The figures: runs, coverage, corpus, time.
  grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+DONE|stat::)' "$build/$target.log" || true
done
[ "$status" -eq 0 ] && echo "fuzzing: 2 targets, $seconds s each, no failure"
exit "$status"
