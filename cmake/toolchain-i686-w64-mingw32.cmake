# Cross build for Windows (i686) with mingw-w64 (Debian package mingw-w64). The "-posix"
# compilers give std::thread and friends; the runtime is linked statically (see CMakeLists.txt),
# so the executables need no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KOUSHIN_MINGW_TRIPLE i686-w64-mingw32)
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
