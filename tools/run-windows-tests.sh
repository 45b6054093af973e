#!/usr/bin/env bash
# Cross-builds quillmend.exe with MinGW-w64 into build-windows/ and runs the
# end-to-end tests of the normal build (build/) against it under Wine, in a
# fresh Wine prefix that is removed afterwards. Arguments go to the test
# binary (--gtest_filter=..., --gtest_output=xml:FILE).
#
# The tests run one after another in a single process: like a real Windows
# machine, the prefix has one drive c: whose c:\temp every test shares.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

first_of() {  # prints the first of the given commands or paths that runs
  local candidate
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null 2>&1; then
      command -v "$candidate"
      return 0
    fi
  done
  return 1
}

wine=$(first_of wine wine64 /usr/lib/wine/wine64) || {
  echo "Wine is missing: run tools/install-deps.sh test" >&2
  exit 1
}
wineserver=$(first_of wineserver wineserver64 /usr/lib/wine/wineserver64) || {
  echo "wineserver is missing: run tools/install-deps.sh test" >&2
  exit 1
}
# Debian's wine64 alone needs to be told where its loader is.
if [ "$(basename "$wine")" = wine64 ]; then export WINELOADER="$wine"; fi

echo "=== Windows build (MinGW-w64), end-to-end tests under Wine"
cmake --no-warn-unused-cli -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DQUILLMEND_BUILD_TESTS=OFF -DQUILLMEND_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build-windows -j"$jobs" >/dev/null

# The tests themselves are the normal build's; only the binary under test
# changes.
# tools/run-example.sh may have set build/ up without them.
if ! grep -q '^QUILLMEND_BUILD_TESTS:BOOL=ON$' build/CMakeCache.txt 2>/dev/null; then
  cmake -S . -B build -DQUILLMEND_BUILD_TESTS=ON -DQUILLMEND_WARNINGS_AS_ERRORS=ON >/dev/null
fi
cmake --build build -j"$jobs" --target quillmend_e2e_tests >/dev/null

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/quillmend-wine-XXXXXX")
export WINEPREFIX WINEDEBUG=-all
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# A new prefix takes a while to set up; doing it once here keeps that out of
# the first test. Without a display, Wine must not offer to install its .NET
# and HTML engines, which console programs never need.
start=$SECONDS
# One server for the whole run rather than one per test.
"$wineserver" -p
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i </dev/null >/dev/null 2>&1
echo "Wine prefix ready in $((SECONDS - start)) s"

QUILLMEND_E2E_BINARY="$PWD/build-windows/quillmend.exe" QUILLMEND_E2E_RUNNER="$wine" \
  build/tests/quillmend_e2e_tests --gtest_brief=1 "$@" </dev/null
