#!/usr/bin/env bash
# Installs what is missing (everything the tests and benchmarks need too),
# builds, and runs every test.
#   scripts/test.sh [cmake arguments...]                the normal build, in build/
#   scripts/test.sh --sanitizers [cmake arguments...]   everything again under AddressSanitizer
#                                  and UndefinedBehaviorSanitizer, in build-sanitizers/
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${1:-}" = "--sanitizers" ]; then
  shift
  build=$root/build-sanitizers
  "$root/scripts/setup.sh" "$build" -DQUORVAN_SANITIZE=ON -DQUORVAN_BUILD_BENCH=OFF "$@"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
else
  build=$root/build
  "$root/scripts/setup.sh" "$build" "$@"
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
