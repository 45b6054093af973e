#!/usr/bin/env bash
# Installs the Debian packages a profile needs that are missing, as root or
# through sudo:
#   tools/install-deps.sh build   building Quillmend and running the examples
#   tools/install-deps.sh test    that and everything tools/run-tests.sh and
#                                 bench/run.sh use (the default)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/clang-version.sh
profile=${1:-test}

build_packages=(cmake g++ make)
# GoogleTest; the Windows build, cross-compiled and tested under Wine; clang
# with libFuzzer and the sanitizer runtimes of its own version for the fuzz
# targets of tools/run-fuzz.sh; python3 for counting the test results and
# for the benchmark, and time for the memory it reports; diff and patch,
# which the tests of --diff compare with and apply the diffs with.
test_packages=(libgtest-dev libgmock-dev python3 g++-mingw-w64-x86-64-posix wine wine64
  time diffutils patch)

case $profile in
  build) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: tools/install-deps.sh [build|test]" >&2
    exit 2
    ;;
esac

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"; }
updated=no
update_once() {
  if [ "$updated" = no ]; then
    apt_get update
    updated=yes
  fi
}

# The clang already there with its fuzzer library, else the release's own
# default clang (the version the package "clang" depends on).
add_clang_packages() {
  local version
  if ! version=$(installed_clang_version); then
    update_once
    version=$(apt-cache depends clang | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' |
      head -n 1)
    if [ -z "$version" ]; then
      echo "no clang to install: the package clang depends on no clang-N" >&2
      exit 1
    fi
  fi
  packages+=("clang-$version" "libfuzzer-$version-dev")
  # Up to version 13 the sanitizer runtimes come with libclang-common-N-dev.
  if apt-cache show "libclang-rt-$version-dev" >/dev/null 2>&1; then
    packages+=("libclang-rt-$version-dev")
  fi
}
[ "$profile" != test ] || add_clang_packages

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  update_once
  apt_get install -y --no-install-recommends "${missing[@]}"
fi
