#!/usr/bin/env bash
# Installs what is missing (everything the tests and benchmarks need too),
# builds, and runs every test.
#   scripts/test.sh [cmake arguments...]                the normal build, in build/
#   scripts/test.sh --sanitizers [cmake arguments...]   everything again under AddressSanitizer
#                                  and UndefinedBehaviorSanitizer, in build-sanitizers/
#   scripts/test.sh --tsan [cmake arguments...]         the decoder module's tests and the
#                                  library called from two threads at once, under
#                                  ThreadSanitizer, in build-tsan/
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUORVAN_SCRIPT=${QUORVAN_SCRIPT:-scripts/test.sh}
if [ "${1:-}" = "--sanitizers" ]; then
  shift
  build=$root/build-sanitizers
  "$root/scripts/setup.sh" "$build" -DQUORVAN_SANITIZE=ON -DQUORVAN_BUILD_BENCH=OFF "$@"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
elif [ "${1:-}" = "--tsan" ]; then
  # Only what is checked: the decoder module's threads, and concurrent calls
  # of the library (with the scripted doubles, run by ctest as in the suite).
  build=$root/build-tsan
  QUORVAN_BUILD_TARGETS="quorvan_decoder_modules_test export_tests" \
    "$root/scripts/setup.sh" "$build" -DQUORVAN_TSAN=ON -DQUORVAN_BUILD_BENCH=OFF -DQUORVAN_BUILD_TOOLS=OFF
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  "$build/bin/quorvan_decoder_modules_test" --gtest_filter="ModuleContract.*"
  exec ctest --test-dir "$build" --output-on-failure -R '^Export\.ConcurrentCallsTakeTurns$'
else
  build=$root/build
  "$root/scripts/setup.sh" "$build" "$@"
fi
# ctest's own lines, then why each skipped test was skipped, by reason.
status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$build/ctest-output.txt" || status=$?
"$root/scripts/skipped-tests.sh" "$build" "$build/ctest-output.txt"
exit "$status"
