#!/usr/bin/env bash
# Builds Quillmend and runs the bundled example script on a fresh copy of the
# example site, so the example can be run again and again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build --target quillmend -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -rf build/example && mkdir -p build/example && cp -R examples/. build/example/
cd build/example
# The example keeps its work files beside it rather than in the user's data
# folder.
status=0
QUILLMEND_DRIVES="$PWD/drives" ../quillmend site.qms </dev/null || status=$?
# Exit status 1 means the script ran to its end.
[ "$status" -eq 1 ]
