# Cross build for Windows (i686) with mingw-w64; the rest is in mingw-w64-toolchain.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KOUSHIN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
