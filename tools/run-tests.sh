#!/usr/bin/env bash
# Builds Quillmend and runs every test: the normal build, then the same tests
# in an AddressSanitizer + UndefinedBehaviorSanitizer build, then the
# end-to-end tests against the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {  # name, build folder, extra cmake arguments...
  local name=$1 folder=$2
  shift 2
  echo "=== $name"
  cmake -S . -B "$folder" -DQUILLMEND_BUILD_TESTS=ON -DQUILLMEND_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$folder" -j"$jobs" >/dev/null
  ctest --test-dir "$folder" --output-on-failure -j"$jobs"
}

run_suite "tests" build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "tests under AddressSanitizer and UndefinedBehaviorSanitizer" build-sanitize \
  -DQUILLMEND_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
tools/run-windows-tests.sh

# Each fuzz target for a bounded time, from its seed corpus (clang).
tools/run-fuzz.sh
