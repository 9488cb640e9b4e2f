# The part of the mingw-w64 cross builds (Debian package mingw-w64) both targets share; included
# by cmake/toolchain-<triple>.cmake after it sets CMAKE_SYSTEM_PROCESSOR and KOUSHIN_MINGW_TRIPLE.
# The "-posix" compilers give std::thread and friends; the runtime is linked statically (see also
# CMakeLists.txt), so the executables need no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KOUSHIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOUSHIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KOUSHIN_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KOUSHIN_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KOUSHIN_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KOUSHIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static C and C++ runtime: nothing but system DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
