# Cross build for 64-bit Windows with MinGW-w64: the same sources as the
# i686 build, for running the Windows tests under 64-bit Wine on machines
# whose kernel runs no 32-bit programs (the product itself is the i686 build).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
