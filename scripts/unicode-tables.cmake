# Writes the C++ tables of the code points whose general category in the Unicode Character
# Database is a letter (L), a mark (M), a decimal digit (Nd), or one that a message shows escaped:
# a control (Cc) or format character (Cf), a line (Zl) or paragraph separator (Zp). Each table is
# sorted ranges with no two touching. scripts/unicode-tables runs it to write base/unicode_tables.cpp:
#   cmake -DUNICODE_DATA=<UnicodeData.txt> -DOUTPUT=<file.cpp> -P unicode-tables.cmake
# The Unicode version is read from the ReadMe.txt beside UnicodeData.txt (Debian's unicode-data
# ships both in /usr/share/unicode).
foreach(_variable UNICODE_DATA OUTPUT)
    if(NOT DEFINED ${_variable})
        message(FATAL_ERROR "unicode-tables.cmake: -D${_variable}=... is missing")
    endif()
endforeach()

get_filename_component(_folder "${UNICODE_DATA}" DIRECTORY)
set(_readme "${_folder}/ReadMe.txt")
if(NOT EXISTS "${_readme}")
    message(FATAL_ERROR "${_readme} is missing: it names the version of ${UNICODE_DATA}")
endif()
file(STRINGS "${_readme}" _version_lines REGEX "Version [0-9.]+ of the Unicode Standard")
if(NOT _version_lines MATCHES "Version ([0-9.]+) of")
    message(FATAL_ERROR "${_readme} does not say which version of the Unicode Standard it is")
endif()
set(UNICODE_VERSION ${CMAKE_MATCH_1})

# One line per code point, "0041;LATIN CAPITAL LETTER A;Lu;...", except the large blocks that
# are given as two lines, "<CJK Ideograph, First>" and "<CJK Ideograph, Last>". file(STRINGS)
# keeps each line's semicolons escaped, so a line is one list item.
file(STRINGS "${UNICODE_DATA}" _lines
    REGEX "^[0-9A-F]+;[^;]*;(L[ultmo]|M[nce]|Nd|Cc|Cf|Zl|Zp);")
if(NOT _lines)
    message(FATAL_ERROR "${UNICODE_DATA} holds no letters: it is not the Unicode Character "
        "Database's UnicodeData.txt")
endif()

# The table each category goes to.
set(_tables Letter Mark DecimalDigit Escaped)
foreach(_table IN LISTS _tables)
    set(_ranges_${_table} "")
    set(_first_${_table} "")
    set(_last_${_table} -2)
endforeach()
set(_block_first "")
foreach(_line IN LISTS _lines)
    string(REGEX MATCH "^([0-9A-F]+);([^;]*);(.)(.);" _ "${_line}")
    set(_hex ${CMAKE_MATCH_1})
    set(_name "${CMAKE_MATCH_2}")
    if(CMAKE_MATCH_3 STREQUAL "L")
        set(_table Letter)
    elseif(CMAKE_MATCH_3 STREQUAL "M")
        set(_table Mark)
    elseif(CMAKE_MATCH_3 STREQUAL "N")
        set(_table DecimalDigit)
    else()
        set(_table Escaped)
    endif()
    math(EXPR _code "0x${_hex}")
    if(_name MATCHES ", First>$")
        set(_block_first ${_code})
        continue()
    endif()
    set(_start ${_code})
    if(_name MATCHES ", Last>$")
        if(_block_first STREQUAL "")
            message(FATAL_ERROR "${UNICODE_DATA}: '${_name}' follows no First line")
        endif()
        set(_start ${_block_first})
        set(_block_first "")
    endif()
    set(_last ${_last_${_table}})
    math(EXPR _next "${_last} + 1")
    if(_start LESS_EQUAL _last)
        message(FATAL_ERROR "${UNICODE_DATA}: U+${_hex} is out of order")
    elseif(_start EQUAL _next)
        set(_last_${_table} ${_code})
    else()
        if(NOT _first_${_table} STREQUAL "")
            list(APPEND _ranges_${_table} "${_first_${_table}}:${_last}")
        endif()
        set(_first_${_table} ${_start})
        set(_last_${_table} ${_code})
    endif()
endforeach()

set(_definitions "")
set(_functions "")
foreach(_table IN LISTS _tables)
    if(_first_${_table} STREQUAL "")
        message(FATAL_ERROR "${UNICODE_DATA} holds no code point for the table ${_table}")
    endif()
    list(APPEND _ranges_${_table} "${_first_${_table}}:${_last_${_table}}")
    set(_rows "")
    foreach(_range IN LISTS _ranges_${_table})
        string(REPLACE ":" ";" _pair "${_range}")
        list(GET _pair 0 _from)
        list(GET _pair 1 _to)
        math(EXPR _from "${_from}" OUTPUT_FORMAT HEXADECIMAL)
        math(EXPR _to "${_to}" OUTPUT_FORMAT HEXADECIMAL)
        string(APPEND _rows "    {${_from}, ${_to}},\n")
    endforeach()
    list(LENGTH _ranges_${_table} _count)
    string(APPEND _definitions
        "constexpr CodeRange k${_table}Ranges[${_count}] = {\n${_rows}};\n\n")
    string(APPEND _functions "std::span<const CodeRange> ${_table}Ranges() noexcept { "
        "return k${_table}Ranges; }\n")
endforeach()

file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT [=[
// Unicode @UNICODE_VERSION@: written by scripts/unicode-tables from the Unicode Character
// Database's UnicodeData.txt (Debian's unicode-data); do not edit, run the script again.
#include "base/unicode_ranges.h"

namespace seedwell::base {
namespace {

// One range a line, as the script writes them.
// clang-format off
@_definitions@// clang-format on

}  // namespace

@_functions@
}  // namespace seedwell::base
]=])
