# Cross build for 64-bit Windows with MinGW-w64 from Debian, tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_seedwell_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Wine's 64-bit loader runs the test programs: never /usr/lib/wine/wine, the 32-bit loader, nor
# Debian's `wine`, which picks that one wherever wine32 is installed, also on a kernel that cannot
# run it. A Wine with one loader for both kinds of program (no wine64) is started as `wine`.
find_program(SEEDWELL_WINE NAMES wine64 PATHS /usr/lib/wine)
if(NOT SEEDWELL_WINE)
    find_program(SEEDWELL_WINE NAMES wine)
endif()
if(SEEDWELL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SEEDWELL_WINE})
endif()
