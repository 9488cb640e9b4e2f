# Cross build for Windows (x86_64) with mingw-w64; the rest is in mingw-w64-toolchain.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KOUSHIN_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
