# Cross build for 32-bit Windows with MinGW-w64: the product's build.
# Our code, and the libraries built with this file, run on a Pentium: the
# machines of the Windows 95 era have no CMOV and no SSE.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-march=i586 -mtune=generic")
set(CMAKE_CXX_FLAGS_INIT "-march=i586 -mtune=generic")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
