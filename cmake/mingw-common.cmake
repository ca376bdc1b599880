# Shared part of the MinGW-w64 toolchain files; MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR are set by the including file.
#
# The win32-thread variant of the compilers: its static runtime calls only
# what Windows 95 and NT 4.0 already had. The POSIX-thread variant links in
# winpthreads, which imports newer functions (GetTickCount64, vectored
# exception handlers, ...) that those systems' loaders refuse. The tests are
# built by the same compilers, so what they exercise is what ships.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${MINGW_TRIPLE}-gcc-win32 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_TRIPLE}-g++-win32 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
