#!/usr/bin/env bash
# Installs what building and testing Quillmend needs on Debian. Run it as
# root or as a user who may use sudo.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# The Windows build, cross-compiled and tested under Wine; clang,
# libfuzzer-14-dev and libclang-rt-14-dev (sanitizer and fuzzer runtimes)
# build the fuzz targets of tools/run-fuzz.sh; time measures the memory
# bench/run.sh reports.
packages=(cmake g++ make libgtest-dev libgmock-dev python3
  g++-mingw-w64-x86-64-posix wine wine64
  clang libfuzzer-14-dev libclang-rt-14-dev
  time)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    --no-install-recommends "${missing[@]}"
fi
