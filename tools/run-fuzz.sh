#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, starting
# from its seed corpus in fuzz/corpus/<target>. Fails on any crash, sanitizer
# report or reference mismatch; prints the executions of each target.
#   tools/run-fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/clang-version.sh
seconds=${1:-${QUILLMEND_FUZZ_SECONDS:-30}}
targets=(script_driver stream_replace copy_line splice_block marked_lines)
build=build-fuzz
work=$build/fuzz-runs

# The compiler of the version whose libFuzzer tools/install-deps.sh installed.
version=$(installed_clang_version) || {
  echo "no clang++-N with libfuzzer-N-dev: run tools/install-deps.sh test" >&2
  exit 1
}
compiler=$(command -v "clang++-$version") || {
  echo "clang++-$version is missing: run tools/install-deps.sh test" >&2
  exit 1
}

echo "=== fuzz targets ($seconds s each, clang $version)"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMEND_FUZZ=ON -DQUILLMEND_BUILD_TESTS=OFF -DQUILLMEND_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

rm -rf "$work"
failed=()
for target in "${targets[@]}"; do
  binary=$build/fuzz/${target}_fuzzer
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$work/$target/artifacts/")
  if [ -f "fuzz/$target.dict" ]; then options+=(-dict="fuzz/$target.dict"); fi
  log=$work/$target.log
  status=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$binary" "${options[@]}" "$work/$target/corpus" "fuzz/corpus/$target" >"$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  findings=$(grep -cE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|quillmend fuzz mismatch' "$log" || true)
  printf '%-16s %10s executions  exit %d  findings %d\n' "$target" "${runs:-?}" "$status" "$findings"
  if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    failed+=("$target")
    grep -E -A 20 'ERROR:|runtime error:|quillmend fuzz mismatch' "$log" | head -n 60 || true
    ls "$work/$target/artifacts"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $work/<target>/artifacts)"
  exit 1
fi
echo "fuzzing found nothing"
