# Cross build for 64-bit Windows with MinGW-w64 from Debian, tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_seedwell_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Wine's 64-bit loader runs the test programs; the plain wrapper also works where it is missing.
find_program(SEEDWELL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT SEEDWELL_WINE)
    find_program(SEEDWELL_WINE NAMES wine64 wine)
endif()
if(SEEDWELL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SEEDWELL_WINE})
endif()
