#!/usr/bin/env bash
# Builds Quillmend and runs every test: the normal build, the same tests in
# an AddressSanitizer + UndefinedBehaviorSanitizer build, the end-to-end tests
# against the Windows build under Wine, and each fuzz target for a bounded
# time. Every suite runs even when an earlier one failed; the last line adds
# them all up, and the exit status is 0 only when everything passed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
log=$(mktemp "${TMPDIR:-/tmp}/quillmend-tests-XXXXXX")
trap 'rm -f "$log"' EXIT
failed_suites=()

run_ctest_suite() {  # name, build folder, extra cmake arguments...
  local name=$1 folder=$2
  shift 2
  echo "=== $name"
  cmake -S . -B "$folder" -DQUILLMEND_BUILD_TESTS=ON -DQUILLMEND_WARNINGS_AS_ERRORS=ON \
    "$@" >/dev/null &&
    cmake --build "$folder" -j"$jobs" >/dev/null &&
    ctest --test-dir "$folder" --output-on-failure -j"$jobs"
}

suite() {  # name, command...: runs it, keeps its output for the totals
  local name=$1
  shift
  "$@" 2>&1 | tee -a "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || failed_suites+=("$name")
}

suite "tests" run_ctest_suite "tests" build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  suite "sanitizer tests" run_ctest_suite \
  "tests under AddressSanitizer and UndefinedBehaviorSanitizer" build-sanitize \
  -DQUILLMEND_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
suite "Windows tests" tools/run-windows-tests.sh
suite "fuzz targets" tools/run-fuzz.sh

# ctest: "N% tests passed, F tests failed out of T"; gtest under Wine:
# "[  PASSED  ] N tests." and "[  FAILED  ] N tests, listed below:"; fuzz:
# one line per target with its findings.
sum() {  # adds the numbers on standard input, one per line
  local total=0 n
  while read -r n; do total=$((total + n)); done
  echo "$total"
}
ctest_failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of [0-9]*.*/\1/p' "$log" | sum)
ctest_total=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$log" | sum)
wine_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | sum)
wine_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$log" | sum)
fuzz_clean=$(grep -c 'executions  exit 0  findings 0$' "$log")
fuzz_all=$(grep -E -c 'executions  exit [0-9]+  findings [0-9]+$' "$log")
passed=$((ctest_total - ctest_failed + wine_passed + fuzz_clean))
failed=$((ctest_failed + wine_failed + fuzz_all - fuzz_clean))

if [ ${#failed_suites[@]} -gt 0 ]; then
  echo "failed suites: ${failed_suites[*]}"
  [ "$failed" -gt 0 ] || failed=${#failed_suites[@]}
fi
echo "all: $passed passed, $failed failed"
[ ${#failed_suites[@]} -eq 0 ]
