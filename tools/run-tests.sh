#!/usr/bin/env bash
# Builds Quillmend and runs every test: the normal build, the same tests in
# an AddressSanitizer + UndefinedBehaviorSanitizer build, the end-to-end tests
# against the Windows build under Wine, and each fuzz target for a bounded
# time. Every suite runs even when an earlier one failed. Each suite ends with
# a line of its own counts; the last line adds them all up,
#   all: N passed, N failed
# and the exit status is 0 only when everything passed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
# Every suite leaves its results in files of its own (JUnit XML for the
# tests, the log for the fuzz targets), so that nothing one suite prints is
# counted for another.
results=$(mktemp -d "${TMPDIR:-/tmp}/quillmend-tests-XXXXXX")
trap 'rm -rf "$results"' EXIT
passed=0 failed=0 skipped=0
failed_suites=()

# name, exit status, "passed failed skipped" ("" when the suite left none)
record() {
  local name=$1 status=$2 p=0 f=0 s=0
  [ -z "$3" ] || read -r p f s <<<"$3"
  if [ "$status" -ne 0 ]; then
    failed_suites+=("$name")
    # A suite that failed with no failing test (it did not build, or its
    # runner died before it could report) counts as one failure.
    [ "$f" -gt 0 ] || f=1
  fi
  echo "$name: $p passed, $f failed, $s skipped"
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
}

junit_counts() {  # JUnit files...: "passed failed skipped", or nothing
  tools/count-junit.py "$@" 2>/dev/null || true
}

run_ctest_suite() {  # name, build folder, extra cmake arguments...
  local name=$1 folder=$2 junit="$results/$2.xml" status=0
  shift 2
  echo "=== $name"
  cmake -S . -B "$folder" -DQUILLMEND_BUILD_TESTS=ON -DQUILLMEND_WARNINGS_AS_ERRORS=ON \
    "$@" >/dev/null &&
    cmake --build "$folder" -j"$jobs" >/dev/null &&
    ctest --test-dir "$folder" --output-on-failure -j"$jobs" --output-junit "$junit" ||
    status=$?
  record "$name" "$status" "$(junit_counts "$junit")"
}

run_windows_suite() {
  local junit="$results/windows.xml" status=0
  tools/run-windows-tests.sh --gtest_output="xml:$junit" || status=$?
  record "Windows tests" "$status" "$(junit_counts "$junit")"
}

run_fuzz_suite() {  # one line per target: "...  exit S  findings F"
  local log="$results/fuzz.log" status=0 clean all
  tools/run-fuzz.sh 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  clean=$(grep -c 'executions  exit 0  findings 0$' "$log")
  all=$(grep -E -c 'executions  exit [0-9]+  findings [0-9]+$' "$log")
  record "fuzz targets" "$status" "$clean $((all - clean)) 0"
}

run_ctest_suite "tests" build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest_suite "tests under AddressSanitizer and UndefinedBehaviorSanitizer" \
  build-sanitize -DQUILLMEND_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
run_windows_suite
run_fuzz_suite

if [ ${#failed_suites[@]} -gt 0 ]; then
  echo "failed suites: ${failed_suites[*]}"
fi
echo "all: $passed passed, $failed failed"
[ ${#failed_suites[@]} -eq 0 ] && [ "$failed" -eq 0 ]
