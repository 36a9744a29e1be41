#!/usr/bin/env bash
# Builds and runs the whole test suite.
#   scripts/test.sh         release build
#   scripts/test.sh asan    AddressSanitizer + UndefinedBehaviorSanitizer build
#   scripts/test.sh tsan    ThreadSanitizer build
# Installs missing Debian packages first (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-release}
case "$preset" in
  release|debug|asan|tsan) ;;
  *) echo "usage: scripts/test.sh [release|debug|asan|tsan]" >&2; exit 2 ;;
esac

scripts/setup-deps.sh

if [ "$preset" = asan ]; then
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
if [ "$preset" = tsan ]; then
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
fi

cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
