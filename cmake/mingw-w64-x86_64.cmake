# Cross build for 64-bit Windows with MinGW-w64 from Debian, tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_seedwell_mingw x86_64-w64-mingw32)
# Wine's 64-bit loader runs the test programs: never /usr/lib/wine/wine, the 32-bit loader, nor
# Debian's `wine`, which picks that one wherever wine32 is installed, also on a kernel that cannot
# run it. A Wine with one loader for both kinds of program (no wine64) is started as `wine`.
set(_seedwell_wine_loader wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
