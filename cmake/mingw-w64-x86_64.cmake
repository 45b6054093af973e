# Cross-compiling quillmend.exe for 64-bit Windows from Debian with MinGW-w64
# (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUILLMEND_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMEND_MINGW_PREFIX x86_64-w64-mingw32)
# The -posix compilers (winpthreads) are the ones Debian's package installs
# under that name; fall back to the plain names of other distributions.
find_program(CMAKE_CXX_COMPILER NAMES ${QUILLMEND_MINGW_PREFIX}-g++-posix
                                      ${QUILLMEND_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${QUILLMEND_MINGW_PREFIX}-gcc-posix
                                    ${QUILLMEND_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${QUILLMEND_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMEND_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
