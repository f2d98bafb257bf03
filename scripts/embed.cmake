# Turns a binary file into a C++ source holding it as EmbeddedArchive, with
# the table of its entries (ENTRIES: "lzx list --tsv" of it) as EmbeddedEntries.
#   cmake -DINPUT=file -DENTRIES=file.tsv -DOUTPUT=file.cpp -P embed.cmake
cmake_minimum_required(VERSION 3.25) # the list commands keep empty elements (CMP0007)
file(READ "${INPUT}" hex HEX)
file(STRINGS "${ENTRIES}" records)
list(REMOVE_AT records 0) # the header line
set(table "")
set(count 0)
foreach(record IN LISTS records)
  # name, size, version, ...: the name as a C string (its "\\" of the
  # listing is one backslash, which C writes the same way).
  string(REGEX MATCH "^([^\t]*)\t([0-9]+)\t([0-9]+)" fields "${record}")
  if(NOT fields)
    message(FATAL_ERROR "${ENTRIES}: not an entry record: ${record}")
  endif()
  string(REPLACE "\"" "\\\"" name "${CMAKE_MATCH_1}")
  string(APPEND table "    {\"${name}\", ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}},\n")
  math(EXPR count "${count} + 1")
endforeach()
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by the build; do not edit.\n"
  "#include <cstdint>\n\n"
  "extern const unsigned char EmbeddedArchive[];\n"
  "extern const std::int32_t EmbeddedArchiveLength;\n\n"
  "const std::int32_t EmbeddedArchiveLength = ${length};\n"
  "alignas(4) const unsigned char EmbeddedArchive[${length} + 1] = {\n${bytes}0};\n\n"
  "struct CarriedEntry {\n  const char *name;\n  std::int32_t size, version;\n};\n"
  "extern const CarriedEntry EmbeddedEntries[];\n"
  "extern const std::int32_t EmbeddedEntryCount;\n"
  "const std::int32_t EmbeddedEntryCount = ${count};\n"
  "const CarriedEntry EmbeddedEntries[${count} + 1] = {\n${table}    {nullptr, 0, 0}};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
