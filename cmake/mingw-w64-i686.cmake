# Cross build for 32-bit Windows with MinGW-w64 from Debian. Machines here cannot run 32-bit
# programs, so only the program is built and checked, never run:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_seedwell_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
