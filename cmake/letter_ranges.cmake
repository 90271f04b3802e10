# Writes the C++ table of the code points that an address takes for letters and digits: those
# whose general category in the Unicode Character Database is a letter (L), a mark (M) or a
# decimal digit (Nd), as sorted ranges with no two touching. Run at build time on the build host:
#   cmake -DUNICODE_DATA=<UnicodeData.txt> -DUNICODE_VERSION=<15.0.0> -DOUTPUT=<file.cpp>
#         -P letter_ranges.cmake
foreach(_variable UNICODE_DATA UNICODE_VERSION OUTPUT)
    if(NOT DEFINED ${_variable})
        message(FATAL_ERROR "letter_ranges.cmake: -D${_variable}=... is missing")
    endif()
endforeach()

# One line per code point, "0041;LATIN CAPITAL LETTER A;Lu;...", except the large blocks that
# are given as two lines, "<CJK Ideograph, First>" and "<CJK Ideograph, Last>". file(STRINGS)
# keeps each line's semicolons escaped, so a line is one list item.
file(STRINGS "${UNICODE_DATA}" _lines REGEX "^[0-9A-F]+;[^;]*;(L[ultmo]|M[nce]|Nd);")
if(NOT _lines)
    message(FATAL_ERROR "${UNICODE_DATA} holds no letters: it is not the Unicode Character "
        "Database's UnicodeData.txt")
endif()

set(_ranges "")
set(_first "")
set(_last -2)
set(_block_first "")
foreach(_line IN LISTS _lines)
    string(REGEX MATCH "^([0-9A-F]+);([^;]*);" _ "${_line}")
    set(_hex ${CMAKE_MATCH_1})
    set(_name "${CMAKE_MATCH_2}")
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
    math(EXPR _next "${_last} + 1")
    if(_start LESS_EQUAL _last)
        message(FATAL_ERROR "${UNICODE_DATA}: U+${_hex} is out of order")
    elseif(_start EQUAL _next)
        set(_last ${_code})
    else()
        if(NOT _first STREQUAL "")
            list(APPEND _ranges "${_first}:${_last}")
        endif()
        set(_first ${_start})
        set(_last ${_code})
    endif()
endforeach()
list(APPEND _ranges "${_first}:${_last}")

set(_rows "")
foreach(_range IN LISTS _ranges)
    string(REPLACE ":" ";" _pair "${_range}")
    list(GET _pair 0 _from)
    list(GET _pair 1 _to)
    math(EXPR _from "${_from}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR _to "${_to}" OUTPUT_FORMAT HEXADECIMAL)
    string(APPEND _rows "    {${_from}, ${_to}},\n")
endforeach()
list(LENGTH _ranges _count)

file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT [=[
// Generated at build time by cmake/letter_ranges.cmake from @UNICODE_DATA@
// (Unicode @UNICODE_VERSION@): do not edit.
#include "support/letter_ranges.h"

namespace seedwell::support {
namespace {

constexpr CodeRange kLetterRanges[@_count@] = {
@_rows@};

}  // namespace

std::span<const CodeRange> LetterRanges() noexcept { return kLetterRanges; }

}  // namespace seedwell::support
]=])
