#!/usr/bin/env bash
# Builds Quillmend and runs one bundled example script (default: site) on a
# fresh copy of examples/, so every example can be run again and again:
#   tools/run-example.sh [site|replace|replace-no-case|copy|splice|commands]
set -euo pipefail
example=${1:-site}
cd "$(dirname "$0")/.."
[ -f "examples/$example.qms" ] || { echo "no example examples/$example.qms" >&2; exit 2; }
# The example needs no GoogleTest (tools/install-deps.sh build leaves it out):
# without it, build/ is set up without the tests, which tools/run-tests.sh
# turns on again.
cmake -S . -B build >/dev/null 2>&1 || cmake -S . -B build -DQUILLMEND_BUILD_TESTS=OFF >/dev/null
cmake --build build --target quillmend -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -rf build/example && mkdir -p build/example && cp -R examples/. build/example/
cd build/example
# The example keeps its work files beside it rather than in the user's data
# folder.
status=0
QUILLMEND_DRIVES="$PWD/drives" ../quillmend "$example.qms" </dev/null || status=$?
# Exit status 1 means the script ran to its end.
[ "$status" -eq 1 ]
