# Cross build for 32-bit Windows with MinGW-w64 from Debian, tests run under Wine (wine32:i386)
# in a 64-bit prefix, as a 32-bit program runs on 64-bit Windows:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_seedwell_mingw i686-w64-mingw32)
# Wine's 32-bit loader runs the test programs.
set(_seedwell_wine_loader wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
