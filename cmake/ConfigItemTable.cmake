# Turns data/config_items.csv into a header of constant rows. Run as a script:
#   cmake -DINPUT=<csv> -DOUTPUT=<header> -P ConfigItemTable.cmake
# Every program that knows the configuration items compiles this one table.
file(STRINGS ${INPUT} lines)
set(rows "")
set(expected 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+),([a-z0-9_]+),(/[a-z0-9_/.]+)$")
    message(FATAL_ERROR "${INPUT}: bad row '${line}'")
  endif()
  if(NOT CMAKE_MATCH_1 EQUAL expected)
    message(FATAL_ERROR "${INPUT}: kind ${CMAKE_MATCH_1} where ${expected} was expected")
  endif()
  string(APPEND rows "    { \"${CMAKE_MATCH_2}\", \"${CMAKE_MATCH_3}\" },\n")
  math(EXPR expected "${expected} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from data/config_items.csv at build time; edit the data file instead.
#pragma once

#include <array>
#include <string_view>

namespace kovru::config_data {

struct ItemRow {
    std::string_view item_name;
    std::string_view device_path;
};

// Indexed by kind.
inline constexpr std::array<ItemRow, ${expected}> kItemRows = { {
${rows}} };

} // namespace kovru::config_data
")
# Leaves the header untouched when nothing changed, so nothing recompiles.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
