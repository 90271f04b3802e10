# What every Seedwell target shares: its warnings and the include roots that keep each library to
# the headers of what it links.

option(SEEDWELL_WERROR "Treat compiler warnings as errors" OFF)

# The warnings of Seedwell's own code; every target links it PRIVATE.
add_library(seedwell_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(seedwell_warnings INTERFACE -Wall -Wextra -Wpedantic
        $<$<BOOL:${SEEDWELL_WERROR}>:-Werror>)
endif()

# seedwell_include_root(<target> <PUBLIC|PRIVATE|INTERFACE> <folder or header>...)
#
# Gives <target> an include root of its own in the build tree, holding for each header of each
# named folder (not of its subfolders) and for each named header a one-line header at the same
# path from the repository root that includes it. "#include "platform/names.h"" then compiles only
# in a target that links the library owning that header, since no include directory leads to the
# sources themselves. Plain files rather than links: they work on every host and never go stale.
function(seedwell_include_root target scope)
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    foreach(item IN LISTS ARGN)
        if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${item})
            file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
                ${PROJECT_SOURCE_DIR}/${item}/*.h)
        elseif(EXISTS ${PROJECT_SOURCE_DIR}/${item})
            set(headers ${item})
        else()
            message(FATAL_ERROR "seedwell_include_root(${target}): no folder or header ${item}")
        endif()
        foreach(header IN LISTS headers)
            file(CONFIGURE OUTPUT ${root}/${header}
                CONTENT "#include \"${PROJECT_SOURCE_DIR}/${header}\"\n" @ONLY)
        endforeach()
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()
