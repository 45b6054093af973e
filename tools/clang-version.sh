# Sourced by tools/install-deps.sh and tools/run-fuzz.sh, which must agree on
# one clang: the fuzz targets need the compiler, libFuzzer and the sanitizer
# runtimes of the same version.

# Prints the newest version N whose clang++-N and libfuzzer-N-dev are both
# installed, or QUILLMEND_CLANG_VERSION when that is set; fails when none is.
installed_clang_version() {
  if [ -n "${QUILLMEND_CLANG_VERSION:-}" ]; then
    echo "$QUILLMEND_CLANG_VERSION"
    return 0
  fi
  local compiler version
  for compiler in $(compgen -c clang++- | grep -E '^clang\+\+-[0-9]+$' | sort -t- -k2 -n -r -u); do
    version=${compiler#clang++-}
    if dpkg -s "libfuzzer-$version-dev" >/dev/null 2>&1; then
      echo "$version"
      return 0
    fi
  done
  return 1
}
