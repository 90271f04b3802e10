# What both Windows cross builds share: MinGW-w64 from Debian for the target named by
# _seedwell_mingw (x86_64-w64-mingw32 or i686-w64-mingw32), and Wine's loader of the target's
# bitness, _seedwell_wine_loader (wine64 or wine), which the toolchain file sets first.
# The -posix compilers are used because only their C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${_seedwell_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_seedwell_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_seedwell_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_seedwell_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no MinGW runtime DLLs to copy next to them or into Wine's path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The test programs run under Wine's loader of the target's bitness: first the one in Wine's own
# folder, then the same name on the path, and only then `wine`, a Wine with one loader for both
# kinds of program.
find_program(SEEDWELL_WINE NAMES ${_seedwell_wine_loader} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT SEEDWELL_WINE)
    find_program(SEEDWELL_WINE NAMES ${_seedwell_wine_loader} wine)
endif()
if(SEEDWELL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SEEDWELL_WINE})
endif()
