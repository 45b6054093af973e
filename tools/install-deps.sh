#!/usr/bin/env bash
# Installs what building and testing Quillmend needs on Debian (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(cmake g++ make libgtest-dev libgmock-dev python3
  # The Windows build, cross-compiled and tested under Wine.
  g++-mingw-w64-x86-64-posix wine wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
