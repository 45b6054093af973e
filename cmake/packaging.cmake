# Packages made by `cpack` in a build folder: a .deb (program and man page)
# on Linux, a .zip (quillmend.exe, README.md and LICENSE) for Windows builds.
set(CPACK_PACKAGE_NAME quillmend)
set(CPACK_PACKAGE_VENDOR "Quillmend contributors")
set(CPACK_PACKAGE_CONTACT "Quillmend contributors <team@quillmend.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "batch tool for text files driven by one script")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmend reads a script and replaces a text in a list of files (matching
letter case or ignoring ASCII case), splices a marked block of lines from one
file into another, copies the files matching a pattern while renaming them,
and runs command lines.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The C and C++ runtime dependencies are worked out from the binary where
  # dpkg-shlibdeps (package dpkg-dev) and file, which CPack needs for it, are
  # there to do it.
  find_program(QUILLMEND_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(QUILLMEND_FILE file)
  if(QUILLMEND_DPKG_SHLIBDEPS AND QUILLMEND_FILE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()

include(CPack)
