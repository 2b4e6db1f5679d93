# Cross build for 64-bit Windows with MinGW-w64. The -posix compiler variants are pinned: the
# -win32 thread model of Debian's GCC 12 has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# Never look at the build machine's own headers and libraries.
# Our own prefix of Windows dependencies (scripts/build_mingw_deps.sh) is the other root.
if(DEFINED ENV{VORNAKEL_CACHE})
  set(vornakel_mingw_prefix "$ENV{VORNAKEL_CACHE}/mingw-prefix")
else()
  get_filename_component(vornakel_mingw_prefix "${CMAKE_CURRENT_LIST_DIR}/../.cache/mingw-prefix" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triple} "${vornakel_mingw_prefix}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest and gtest_discover_tests run the .exe files through Wine, in the build tree's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine/run_in_wine.sh")
