# Cross build for 32-bit Windows with MinGW-w64 from Debian. Machines here cannot run 32-bit
# programs, so only the program is built and checked, never run:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The -posix compilers are used because only their C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_seedwell_mingw i686-w64-mingw32)
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
